#pragma once
#include <QDialog>
#include <functional>

#include "groupservice/group_details.h"
#include "panel/dialog_env.h"

class QLineEdit;

namespace norvex {

// "群详情": a group's ID, name and creation time, read-only.
class DetailsDialog : public QDialog {
    Q_OBJECT

public:
    DetailsDialog(const GroupDetailsView& view, QWidget* parent);

    QString Id() const;
    QString Name() const;
    QString Created() const;

private:
    QLineEdit* id_;
    QLineEdit* name_;
    QLineEdit* created_;
};

// Fetches the details off the UI thread (the opener disabled, busy cursor), then shows
// "获取详情信息失败" or runs the dialog modally; `after` runs once either is over.
void OpenGroupDetails(QWidget* opener, DialogEnv& env, const std::string& id,
                      const std::string& password, std::function<void()> after = {});

}  // namespace norvex
