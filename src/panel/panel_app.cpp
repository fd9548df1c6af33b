#include "panel/panel_app.h"

#include "panel/monitor_window.h"
#include "shell/config_file.h"
#include "shell/serial_ports.h"

namespace norvex {

namespace {

// What the window may not rewrite: a file it could not read whole.
std::string KeepFileReason(const ConfigFileRead& read) {
    using Status = ConfigFileRead::Status;
    return read.status == Status::kOk || read.status == Status::kMissing ? std::string()
                                                                         : read.problem;
}

}  // namespace

PanelApp::PanelApp(const PanelOptions& options, MessageBoxes& boxes, TrayIcon& tray)
    : env_{options.site.endpoints, boxes},
      dialogs_(env_),
      configRead_(ReadPanelConfigFile(options.configPath)),
      window_(std::move(configRead_.config), {boxes, tray, dialogs_, options.configPath,
                                              EnumSerialPorts(options.site.extraSerialPorts),
                                              KeepFileReason(configRead_), options.runtimeDir}),
      view_(&window_),
      gateway_(MakeHttpGroupGateway(options.site.endpoints.groupService, startCancel_.Fd())),
      control_(view_, *gateway_, kPanelAppName, SiteFrom(options.site, options.tuning),
               SystemTickClock(), MakeQtOffThread(&window_)),
      port_(control_, startCancel_) {
    window_.Attach(&port_);
    // before any run: the hook may only be set while the engine is idle
    control_.Engine().SetTraceHook(MonitorHook(window_.Feed()));
    window_.SetCounterSource([this] { return control_.Engine().Counters().Snapshot(); });
}

}  // namespace norvex
