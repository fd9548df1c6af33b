// norvex-panel: the desktop control panel.
#include <QApplication>
#include <csignal>
#include <cstdio>

#include "panel/panel_app.h"
#include "panel/panel_translation.h"
#include "panel/qt_ui_ports.h"
#include "panel/signal_pipe.h"
#include "shell/panel_options.h"

namespace {

std::vector<std::string> Arguments(const QStringList& all) {
    std::vector<std::string> args;
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace norvex;
    std::signal(SIGPIPE, SIG_IGN);
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

    // before the first window or box: every text is chosen in the desktop's language
    std::unique_ptr<QTranslator> translation = InstallPanelTranslation(options.language);
    if (options.language == PanelLanguage::kEnglish && !translation)
        std::fputs("norvex-panel: no English translation found; the texts stay Chinese\n", stderr);
    QtMessageBoxes boxes;
    QtTrayIcon tray;
    PanelApp panel(options, boxes, tray);
    QObject::connect(&panel.Window(), &MainWindow::closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    SignalPipe signalPipe([&](int) {
        if (panel.Window().Shutdown() != ConfigSaveResult::kOk) {
            std::fprintf(stderr, "norvex-panel: the configuration could not be saved to %s\n",
                         options.configPath.c_str());
        }
        QApplication::exit(0);
    });
    panel.Launch();
    return QApplication::exec();
}
