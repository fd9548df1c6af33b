#pragma once
#include <QDialog>

#include "panel/dialog_env.h"
#include "shell/panel_config.h"

class QLineEdit;
class QPushButton;

namespace norvex {

// "登录到RS485设备群": checks a group's ID and password off the UI thread and hands back the
// group, its name as the service knows it.  "新建..." creates a group and fills the boxes.
class LoginDialog : public QDialog {
    Q_OBJECT

public:
    LoginDialog(DialogEnv& env, QWidget* parent);

    // Valid after OK: the boxes as typed and the service's name.
    GroupRecord Group() const { return group_; }

    QLineEdit* IdBox() const { return id_; }
    QLineEdit* PasswordBox() const { return password_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* NewButton() const { return new_; }

private:
    void OnOk();
    void OnNew();

    DialogEnv& env_;
    QPushButton* ok_;
    QLineEdit* id_;
    QLineEdit* password_;
    QPushButton* new_;
    GroupRecord group_;
};

}  // namespace norvex
