#include "panel/details_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

#include "groupservice/dialog_messages.h"
#include "groupservice/http_client.h"
#include "panel/busy_scope.h"
#include "panel/dialog_geometry.h"
#include "panel/off_thread.h"
#include "panel/shell_text.h"

namespace norvex {

DetailsDialog::DetailsDialog(const GroupDetailsView& view, QWidget* parent) : QDialog(parent) {
    setWindowTitle(ShellText(msg::kDetailsCaption));
    setFont(DialogFont(8));
    auto* close = new QPushButton(tr("关闭"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    id_ = new QLineEdit(ToQ(view.id), this);
    name_ = new QLineEdit(ToQ(view.name), this);
    created_ = new QLineEdit(ToQ(view.created), this);
    auto* grid = new QGridLayout(this);
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"群ID", id_}, {"群名称", name_}, {"建立时间", created_}};
    int r = 0;
    for (const auto& [label, edit] : rows) {
        edit->setReadOnly(true);
        edit->setCursorPosition(0);
        grid->addWidget(new QLabel(tr(label), this), r, 0);
        grid->addWidget(edit, r, 1);
        ++r;
    }
    grid->addWidget(close, r, 1, Qt::AlignRight);
    setTabOrder(close, id_);
    setTabOrder(id_, name_);
    setTabOrder(name_, created_);
    setFixedSize(UnitsToSize(269, 108, font()));
}

QString DetailsDialog::Id() const {
    return id_->text();
}
QString DetailsDialog::Name() const {
    return name_->text();
}
QString DetailsDialog::Created() const {
    return created_->text();
}

void OpenGroupDetails(QWidget* opener, DialogEnv& env, const std::string& id,
                      const std::string& password, std::function<void()> after) {
    auto busy = std::make_shared<BusyScope>(opener);
    HostPort service = env.endpoints.groupService;
    RunOffThread<GroupDetailsView>(
        opener,
        [service, id, password] { return LoadGroupDetails(HttpClient(service), id, password); },
        [opener, &env, busy, after](GroupDetailsView view) mutable {
            busy.reset();
            if (view.closeAtOnce) {
                env.boxes.Inform(opener, env.appName, ShellText(view.message));
            } else {
                DetailsDialog dialog(view, opener);
                dialog.exec();
            }
            if (after) after();
        });
}

}  // namespace norvex
