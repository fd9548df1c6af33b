#pragma once
#include "panel/dialog_env.h"
#include "panel/ui_ports.h"

namespace norvex {

// The real login and details dialogs.
class QtGroupDialogs : public GroupDialogs {
public:
    explicit QtGroupDialogs(DialogEnv& env) : env_(env) {}
    std::optional<GroupRecord> Login(QWidget* parent) override;
    void Details(QWidget* parent, const std::string& id, const std::string& password) override;

private:
    DialogEnv& env_;
};

}  // namespace norvex
