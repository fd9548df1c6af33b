#include "panel/new_group_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "groupservice/dialog_messages.h"
#include "panel/busy_scope.h"
#include "panel/details_dialog.h"
#include "panel/dialog_geometry.h"
#include "panel/off_thread.h"
#include "panel/shell_text.h"

namespace norvex {

NewGroupDialog::NewGroupDialog(DialogEnv& env, QWidget* parent) : QDialog(parent), env_(env) {
    setWindowTitle(ShellText(msg::kNewGroupCaption));
    setFont(DialogFont(8));
    ok_ = new QPushButton(tr("确定"), this);
    ok_->setDefault(true);
    auto* cancel = new QPushButton(tr("取消"), this);
    name_ = new QLineEdit(this);
    password1_ = new QLineEdit(this);
    password2_ = new QLineEdit(this);
    password1_->setEchoMode(QLineEdit::Password);
    password2_->setEchoMode(QLineEdit::Password);

    auto* grid = new QGridLayout(this);
    const std::pair<const char*, QLineEdit*> rows[] = {
        {"群名称", name_}, {"群密码", password1_}, {"确认密码", password2_}};
    int r = 0;
    for (const auto& [label, edit] : rows) {
        grid->addWidget(new QLabel(tr(label), this), r, 0);
        grid->addWidget(edit, r, 1);
        ++r;
    }
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    buttons->addStretch();
    grid->addLayout(buttons, 0, 2, r, 1);

    setTabOrder(ok_, cancel);
    setTabOrder(cancel, name_);
    setTabOrder(name_, password1_);
    setTabOrder(password1_, password2_);
    name_->setFocus();
    setFixedSize(UnitsToSize(307, 118, font()));

    connect(ok_, &QPushButton::clicked, this, &NewGroupDialog::OnOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void NewGroupDialog::OnOk() {
    std::string name = name_->text().toStdString();
    std::string password = password1_->text().toStdString();
    std::string confirm = password2_->text().toStdString();
    // the validation needs no network: its message comes at once
    std::string invalid = ValidateNewGroup(name, password, confirm);
    if (!invalid.empty()) {
        env_.boxes.Inform(this, env_.appName, ShellText(invalid));
        return;
    }
    auto busy = std::make_shared<BusyScope>(this);
    creating_ = true;
    closeAsked_ = false;
    GroupServiceEndpoints endpoints = env_.endpoints;
    RunOffThread<NewGroupResult>(
        this,
        [endpoints, name, password, confirm] {
            return CreateNewGroup(endpoints, name, password, confirm);
        },
        [this, busy](NewGroupResult made) mutable {
            busy.reset();
            creating_ = false;
            OnCreated(std::move(made));
        });
}

void NewGroupDialog::OnCreated(NewGroupResult made) {
    if (!made.groupId.empty()) groupId_ = ToQ(made.groupId);
    if (!made.created) {
        env_.boxes.Inform(this, env_.appName, ShellText(made.message), made.stopIcon);
        if (closeAsked_) reject();
        return;
    }
    // a group that exists is shown and handed back even when a close was asked for
    if (!made.note.empty()) env_.boxes.Inform(this, env_.appName, ShellText(made.note));
    password_ = ToQ(made.password);
    OpenGroupDetails(this, env_, made.groupId, made.detailsPassword, [this] { accept(); });
}

void NewGroupDialog::done(int result) {
    if (creating_) {
        closeAsked_ = true;
        return;
    }
    QDialog::done(result);
}

}  // namespace norvex
