#pragma once
#include <functional>
#include <memory>
#include <string>

#include "panel/control_port.h"
#include "panel/dialog_env.h"
#include "panel/main_window.h"
#include "panel/qt_group_dialogs.h"
#include "panel/queued_panel_view.h"
#include "shell/config_file.h"
#include "shell/group_gateway.h"
#include "shell/panel_options.h"
#include "shell/service_control.h"

namespace norvex {

// The whole panel: the main window, the group dialogs and the service control with its engine,
// wired together.  Message boxes and the tray come from outside (tests replace them).  The
// configuration file, the group service, the broker and the serial ports are those the
// options name.
class PanelApp {
public:
    // The window's closed() signal tells the program to end.
    PanelApp(const PanelOptions& options, MessageBoxes& boxes, TrayIcon& tray);

    MainWindow& Window() { return window_; }
    ServiceControl& Control() { return control_; }
    // The start action, then the window.
    void Launch() { window_.Launch(); }

private:
    DialogEnv env_;
    QtGroupDialogs dialogs_;
    ConfigFileRead configRead_;  // the window takes its config; the status stays
    MainWindow window_;
    QueuedPanelView view_;
    StartCancel startCancel_;
    std::unique_ptr<GroupGateway> gateway_;
    // after the window, the view and the gateway: it goes first and waits for a start-up
    // request still using the gateway on the thread pool
    ServiceControl control_;
    ControlPort port_;
};

}  // namespace norvex
