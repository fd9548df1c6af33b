// panel-shots DIR: renders the control panel's windows into DIR (main.png, monitor.png,
// login.png, new-group.png, details.png, about.png; main-en.png and so on when the locale is
// English, as the panel chooses its language).  The dialogs are the real ones; the main window is
// shown in the state the service control puts it in while it runs with two relays heard; with
// NORVEX_SHOT_CONFIG set it is the real panel on that configuration, started on the system of
// the environment, taken once its first two relays read "√".
// With NORVEX_GROUP_SERVICE set, the details are fetched from that service for
// NORVEX_SHOT_GROUP / NORVEX_SHOT_PASSWORD.
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>

#include "groupservice/group_details.h"
#include "groupservice/http_client.h"
#include "panel/about_box.h"
#include "panel/details_dialog.h"
#include "panel/login_dialog.h"
#include "panel/main_window.h"
#include "panel/monitor_window.h"
#include "panel/new_group_dialog.h"
#include "panel/panel_app.h"
#include "panel/panel_translation.h"
#include "panel/qt_ui_ports.h"
#include "panel/shell_text.h"
#include "shell/panel_options.h"
#include "shell/shell_texts.h"

namespace {

using namespace norvex;

class NoDialogs : public GroupDialogs {
public:
    std::optional<GroupRecord> Login(QWidget*) override { return std::nullopt; }
    void Details(QWidget*, const std::string&, const std::string&) override {}
};

class NoTray : public TrayIcon {
public:
    bool Available() const override { return false; }
    TrayHost Host() const override { return TrayHost::kXEmbed; }
    void Show() override {}
    void Hide() override {}
    void ShowBalloon(const QString&, const QString&) override {}
};

// "-en" in the names of the English pictures.
QString g_suffix;

void RunEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Save(QWidget& w, const QString& dir, const char* name) {
    w.show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QString path = dir + "/" + name + g_suffix + ".png";
    bool ok = w.grab().save(path);
    std::fprintf(stderr, "panel-shots: %s %s\n", ok ? "wrote" : "could not write",
                 path.toUtf8().constData());
    w.hide();
    return ok;
}

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

// Runs the real panel until its first two relays read "√" (at most 30 s), then renders it.
bool SaveLiveMain(const std::string& configPath, const QString& dir) {
    QtMessageBoxes boxes;
    NoTray tray;
    PanelApp app(ParsePanelOptions({"--config", configPath}), boxes, tray);
    app.Launch();
    QTreeWidget* list = app.Window().RelayList();
    auto online = [list] {
        return list->topLevelItemCount() >= 2 && list->topLevelItem(0)->text(1) == "√" &&
               list->topLevelItem(1)->text(1) == "√";
    };
    for (int i = 0; i < 600 && !online(); ++i) RunEventsFor(50);
    RunEventsFor(1500);  // a status-timer tick or two: the status line shows the figures
    bool ok = online() && Save(app.Window(), dir, "main");
    if (!online()) std::fputs("panel-shots: the relays did not come online\n", stderr);
    // the byte monitor while the relays' status messages come in
    app.Window().ShowMonitor();
    RunEventsFor(2500);
    ok &= Save(*app.Window().Monitor(), dir, "monitor");
    app.Window().Shutdown();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: panel-shots DIR\n", stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const PanelLanguage language = PanelLanguageFrom(ProcessEnv);
    std::unique_ptr<QTranslator> translation = InstallPanelTranslation(language);
    if (language == PanelLanguage::kEnglish) {
        if (!translation) {
            std::fputs("panel-shots: the English translation was not found\n", stderr);
            return 1;
        }
        g_suffix = QStringLiteral("-en");
    }
    QtMessageBoxes boxes;
    NoTray tray;
    NoDialogs dialogs;
    DialogEnv env{ReadSiteEnv(ProcessEnv).endpoints, boxes};
    const std::string group = Env("NORVEX_SHOT_GROUP", "3c5a9e1f");
    const std::string password = Env("NORVEX_SHOT_PASSWORD", "demo123");
    bool ok = true;

    PanelConfig config;
    config.netPortName = "/tmp/ttyNet";
    config.appPortName = "/tmp/ttyApp";
    config.storedGroupId = group;
    config.groups = {{group, "demo group", password}};
    MainWindow main(
        config,
        {boxes, tray, dialogs, "/dev/null", {{"pty", "/tmp/ttyApp"}, {"pty", "/tmp/ttyNet"}}});
    main.SetStartButton(ShellText(kTextRunning), true);
    main.EnableChoosers(false);
    main.AddRelayRow({"1", "√", "89860000000000000001", "860000000000001"});
    main.AddRelayRow({"2", "√", "89860000000000000002", "860000000000002"});
    CounterSnapshot figures;
    figures.serialBytesToGroup = 1834, figures.packetsToGroup = 41;
    figures.serialBytesFromGroup = 977, figures.packetsFromGroup = 23;
    main.SetCounterSource([figures] { return figures; });
    if (const char* live = std::getenv("NORVEX_SHOT_CONFIG")) {
        ok &= SaveLiveMain(live, dir);
    } else {
        ok &= Save(main, dir, "main");
        main.ShowMonitor();
        ok &= Save(*main.Monitor(), dir, "monitor");
    }

    LoginDialog login(env, nullptr);
    login.IdBox()->setText(QString::fromStdString(group));
    login.PasswordBox()->setText(QString::fromStdString(password));
    ok &= Save(login, dir, "login");

    NewGroupDialog made(env, nullptr);
    made.NameBox()->setText(QStringLiteral("Pump house"));
    made.PasswordBox()->setText(QStringLiteral("secret1"));
    made.ConfirmBox()->setText(QStringLiteral("secret1"));
    ok &= Save(made, dir, "new-group");

    GroupDetailsView view{false, {}, group, "Demo Group", "2026-12-09 19:00:00"};
    if (std::getenv("NORVEX_GROUP_SERVICE")) {
        view = LoadGroupDetails(HttpClient(env.endpoints.groupService), group, password);
    }
    DetailsDialog details(view, nullptr);
    ok &= Save(details, dir, "details");

    AboutBox about(nullptr);
    ok &= Save(about, dir, "about");
    return ok ? 0 : 1;
}
