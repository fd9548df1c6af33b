#include "panel/panel_app.h"

#include "bridge/site_env.h"
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

PanelApp::PanelApp(const std::string& configPath, MessageBoxes& boxes, TrayIcon& tray,
                   std::function<void()> onClosed, const RelayTuning& tuning)
    : env_{GroupServiceEndpoints::FromEnvironment(), boxes},
      dialogs_(env_),
      configRead_(ReadPanelConfigFile(configPath)),
      window_(std::move(configRead_.config), {boxes, tray, dialogs_, configPath, EnumSerialPorts(),
                                              std::move(onClosed), KeepFileReason(configRead_)}),
      view_(&window_),
      gateway_(MakeHttpGroupGateway()),
      control_(
          view_, *gateway_, kPanelAppName,
          ServiceSite{BrokerFromEnv().host, BrokerFromEnv().port, ProductIdFromEnv(), {}, tuning},
          SystemTickClock(), MakeQtOffThread(&window_)),
      port_(control_) {
    window_.Attach(&port_);
    // before any run: the hook may only be set while the engine is idle
    control_.Engine().SetTraceHook(MonitorHook(window_.Feed()));
    window_.SetCounterSource([this] { return control_.Engine().Counters().Snapshot(); });
}

}  // namespace norvex
