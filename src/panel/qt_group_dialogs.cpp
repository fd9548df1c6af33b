#include "panel/qt_group_dialogs.h"

#include "panel/details_dialog.h"
#include "panel/login_dialog.h"

namespace norvex {

std::optional<GroupRecord> QtGroupDialogs::Login(QWidget* parent) {
    LoginDialog dialog(env_, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Group();
}

void QtGroupDialogs::Details(QWidget* parent, const std::string& id, const std::string& password) {
    OpenGroupDetails(parent, env_, id, password);
}

}  // namespace norvex
