#pragma once
#include <QDialog>

#include "panel/dialog_env.h"

class QLineEdit;
class QPushButton;

namespace norvex {

// "新建RS485设备群": validates the name and password, creates the group off the UI thread,
// shows its details and ends with OK, handing back the group ID and the password as typed.
class NewGroupDialog : public QDialog {
public:
    NewGroupDialog(DialogEnv& env, QWidget* parent);

    QString GroupId() const { return groupId_; }
    QString Password() const { return password_; }

    QLineEdit* NameBox() const { return name_; }
    QLineEdit* PasswordBox() const { return password1_; }
    QLineEdit* ConfirmBox() const { return password2_; }
    QPushButton* OkButton() const { return ok_; }

private:
    void OnOk();

    DialogEnv& env_;
    QPushButton* ok_;
    QLineEdit* name_;
    QLineEdit* password1_;
    QLineEdit* password2_;
    QString groupId_;
    QString password_;
};

}  // namespace norvex
