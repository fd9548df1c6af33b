#include "panel/login_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "groupservice/dialog_messages.h"
#include "groupservice/group_login.h"
#include "panel/busy_scope.h"
#include "panel/dialog_geometry.h"
#include "panel/new_group_dialog.h"
#include "panel/off_thread.h"
#include "panel/shell_text.h"

namespace norvex {

LoginDialog::LoginDialog(DialogEnv& env, QWidget* parent) : QDialog(parent), env_(env) {
    setWindowTitle(ShellText(msg::kLoginCaption));
    setFont(DialogFont(8));
    ok_ = new QPushButton(tr("确定"), this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(tr("取消"), this);
    id_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    new_ = new QPushButton(tr("新建..."), this);
    new_->setAutoDefault(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("群ID"), this), 0, 0);
    grid->addWidget(id_, 0, 1);
    grid->addWidget(new QLabel(tr("群密码"), this), 1, 0);
    grid->addWidget(password_, 1, 1);
    grid->addWidget(new_, 2, 1, Qt::AlignLeft);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, 3, 1);

    setTabOrder(ok_, cancel);
    setTabOrder(cancel, id_);
    setTabOrder(id_, password_);
    setTabOrder(password_, new_);
    id_->setFocus();
    setFixedSize(UnitsToSize(309, 121, font()));

    connect(ok_, &QPushButton::clicked, this, &LoginDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(new_, &QPushButton::clicked, this, &LoginDialog::OnNew);
}

void LoginDialog::OnOk() {
    std::string id = id_->text().toStdString();
    std::string password = password_->text().toStdString();
    auto busy = std::make_shared<BusyScope>(this);
    HostPort service = env_.endpoints.groupService;
    RunOffThread<GroupLoginResult>(
        this, [service, id, password] { return GroupLoginOk(HttpClient(service), id, password); },
        [this, busy](GroupLoginResult result) mutable {
            busy.reset();
            if (!result.accepted) {
                env_.boxes.Inform(this, env_.appName, ShellText(result.message));
                return;
            }
            group_ = {result.id, result.name, result.password};
            accept();
        });
}

void LoginDialog::OnNew() {
    NewGroupDialog dialog(env_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    id_->setText(dialog.GroupId());
    password_->setText(dialog.Password());
}

}  // namespace norvex
