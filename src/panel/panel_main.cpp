// norvex-panel: the desktop control panel.
#include <QApplication>
#include <cstdio>

#include "bridge/site_env.h"
#include "groupservice/endpoints.h"
#include "panel/control_port.h"
#include "panel/dialog_env.h"
#include "panel/main_window.h"
#include "panel/qt_group_dialogs.h"
#include "panel/qt_ui_ports.h"
#include "panel/queued_panel_view.h"
#include "panel/signal_pipe.h"
#include "shell/config_file.h"
#include "shell/group_gateway.h"
#include "shell/panel_options.h"
#include "shell/serial_ports.h"
#include "shell/service_control.h"

namespace {

std::vector<std::string> Arguments(const QStringList& all) {
    std::vector<std::string> args;
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace norvex;
    QApplication app(argc, argv);  // takes the toolkit's own options out of argv
    QApplication::setApplicationName(QStringLiteral("norvex-panel"));
    // message boxes may stand alone before the window shows, and the window hides in the tray:
    // only the window's own close ends the program
    QApplication::setQuitOnLastWindowClosed(false);

    PanelOptions options = ParsePanelOptions(Arguments(QApplication::arguments()));
    if (options.help) {
        std::fputs(kPanelUsage, stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "norvex-panel: %s\n%s", options.error.c_str(), kPanelUsage);
        return 2;
    }

    QtMessageBoxes boxes;
    QtTrayIcon tray;
    DialogEnv env{GroupServiceEndpoints::FromEnvironment(), boxes};
    QtGroupDialogs dialogs(env);
    MainWindow window(LoadPanelConfig(options.configPath),
                      {boxes, tray, dialogs, options.configPath, EnumSerialPorts(),
                       [] { QApplication::quit(); }});

    QueuedPanelView view(&window);
    std::unique_ptr<GroupGateway> gateway = MakeHttpGroupGateway();
    BrokerEndpoint broker = BrokerFromEnv();
    ServiceControl control(view, *gateway, kPanelAppName,
                           ServiceSite{broker.host, broker.port, ProductIdFromEnv()},
                           SystemTickClock(), MakeQtOffThread(&window));
    ControlPort port(control);
    window.Attach(&port);

    SignalPipe signalPipe([&](int) {
        if (window.Shutdown() != ConfigSaveResult::kOk) {
            std::fprintf(stderr, "norvex-panel: the configuration could not be saved to %s\n",
                         options.configPath.c_str());
        }
        QApplication::exit(0);
    });

    window.Launch();
    return QApplication::exec();
}
