// The tray where the desktop's panel speaks StatusNotifierItem: a private session bus with a
// small StatusNotifierWatcher (sni_watcher.py) and a private Xvfb.  Qt then makes its D-Bus
// tray; minimising registers exactly one item with the watcher, and the host's click, an
// Activate call on the item, restores the window.
#include <QApplication>
#include <QStringList>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "panel/main_window.h"
#include "panel/qt_ui_ports.h"
#include "panel_fakes.h"
#include "support/child_process.h"
#include "support/private_display.h"
#include "support/text_file.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;

constexpr char kPython[] = "/usr/bin/python3";
constexpr char kDbusSend[] = "/usr/bin/dbus-send";

// The watcher's log: "ready", then "item NAME" for each registration.
std::string g_watcherLog;

QStringList RegisteredItems() {
    QStringList items;
    for (const QString& line : QString::fromStdString(test::ReadTextFile(g_watcherLog)).split('\n'))
        if (line.startsWith(QLatin1String("item "))) items << line.mid(5);
    return items;
}

}  // namespace

class SniTrayTest : public QObject {
    Q_OBJECT

private slots:
    void minimiseRegistersOneItemAndItsActivateRestores() {
        QtTrayIcon tray;
        QCOMPARE(tray.Host(), TrayHost::kActivationOnly);
        QTRY_VERIFY_WITH_TIMEOUT(tray.Available(), 10000);
        test::RecordingBoxes boxes;
        test::FakeDialogs dialogs;
        test::IdleService service;
        MainWindow w(PanelConfig{}, {boxes, tray, dialogs, "/nonexistent/NorvexPanel.cfg", {}});
        w.Attach(&service);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(RegisteredItems().isEmpty());

        w.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(RegisteredItems().size(), 1, 5000);
        QVERIFY(w.InTray());

        // what the host sends for a click on the item; dbus-send waits for no reply
        const std::string item = RegisteredItems().front().toStdString();
        test::ChildProcess click;
        QVERIFY(click.Start({kDbusSend, "--session", "--type=method_call", "--dest=" + item,
                             "/StatusNotifierItem", "org.kde.StatusNotifierItem.Activate",
                             "int32:0", "int32:0"}));
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible() && !w.isMinimized(), 5000);
        QVERIFY(!w.InTray());
        QCOMPARE(RegisteredItems().size(), 1);  // never a second icon
        QCOMPARE(click.Wait(5s), 0);
    }
};

}  // namespace norvex

int main(int argc, char** argv) {
    using norvex::test::PathExists;
    for (const char* tool :
         {norvex::test::PrivateDisplay::kXvfb, norvex::test::PrivateSessionBus::kDaemon,
          norvex::kPython, norvex::kDbusSend}) {
        if (!PathExists(tool)) {
            std::fprintf(stderr, "SKIP: %s is not installed\n", tool);
            return 0;
        }
    }
    norvex::test::TempDir scratch;
    norvex::test::PrivateDisplay display;
    norvex::test::PrivateSessionBus bus;
    if (!display.Start() || !bus.Start(scratch.Path())) {
        std::fputs("FAIL: no private X server or session bus could be started\n", stderr);
        return 1;
    }
    norvex::g_watcherLog = scratch.File("watcher.log");
    norvex::test::ChildProcess watcher;
    if (!watcher.Start({norvex::kPython, NORVEX_SNI_WATCHER, norvex::g_watcherLog})) return 1;
    for (int i = 0; i < 500 && norvex::test::ReadTextFile(norvex::g_watcherLog).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (norvex::test::ReadTextFile(norvex::g_watcherLog).find("ready") == std::string::npos) {
        std::fputs("FAIL: the StatusNotifierWatcher did not start (python3-dbus, python3-gi?)\n",
                   stderr);
        return 1;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    norvex::SniTrayTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "sni_tray_test.moc"
