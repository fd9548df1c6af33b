#pragma once
#include <QDialog>

#include "groupservice/new_group.h"
#include "panel/dialog_env.h"

class QLineEdit;
class QPushButton;

namespace norvex {

// "新建RS485设备群": validates the name and password, creates the group off the UI thread,
// shows its details and ends with OK, handing back the group ID and the password as typed.
// A close asked for while the creation runs waits for it: a group it made is never dropped.
class NewGroupDialog : public QDialog {
    Q_OBJECT

public:
    NewGroupDialog(DialogEnv& env, QWidget* parent);

    // While a creation runs, every way of ending the dialog (close, Escape, Cancel) only
    // marks it to end once the result is shown.
    void done(int result) override;
    bool Creating() const { return creating_; }

    QString GroupId() const { return groupId_; }
    QString Password() const { return password_; }

    QLineEdit* NameBox() const { return name_; }
    QLineEdit* PasswordBox() const { return password1_; }
    QLineEdit* ConfirmBox() const { return password2_; }
    QPushButton* OkButton() const { return ok_; }

private:
    void OnOk();
    void OnCreated(NewGroupResult made);

    DialogEnv& env_;
    QPushButton* ok_;
    QLineEdit* name_;
    QLineEdit* password1_;
    QLineEdit* password2_;
    QString groupId_;
    QString password_;
    bool creating_ = false;
    bool closeAsked_ = false;
};

}  // namespace norvex
