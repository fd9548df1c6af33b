// The tray on a real X server: a private Xvfb with trayer as its XEmbed tray.  Minimising docks
// exactly one icon in trayer's window; a single click leaves the window hidden, a double click on
// the docked icon restores it and takes the icon away.

#include <QApplication>
#include <QSystemTrayIcon>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <string>

#include "panel/main_window.h"
#include "panel/qt_ui_ports.h"
#include "panel_fakes.h"
#include "support/child_process.h"
#include "support/private_display.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;

constexpr char kTrayer[] = "/usr/bin/trayer";
constexpr char kXwininfo[] = "/usr/bin/xwininfo";

// A private X server and an XEmbed tray on it.
struct XSession {
    test::PrivateDisplay display;
    test::ChildProcess tray;

    bool Start() {
        return display.Start() &&
               tray.Start({kTrayer, "--edge", "top", "--widthtype", "pixel", "--width", "200"});
    }
};

// Every window of the display with its parents, as xwininfo lists them.
std::string TrayTree() {
    std::string out;
    test::RunProgram({kXwininfo, "-root", "-tree"}, {}, &out, 10s);
    return out;
}

QWidget* DockedIconWidget() {
    QWidget* found = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QSystemTrayIconSys") && w->isVisible()) {
            if (found) return nullptr;  // more than one: not what a caller wants
            found = w;
        }
    }
    return found;
}

int DockedIconCount() {
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += w->inherits("QSystemTrayIconSys") && w->isVisible() ? 1 : 0;
    return n;
}

}  // namespace

class RealTrayTest : public QObject {
    Q_OBJECT

private slots:
    void minimiseDocksOneIconAndADoubleClickRestores() {
        QtTrayIcon tray;
        QCOMPARE(tray.Host(), TrayHost::kXEmbed);
        QTRY_VERIFY_WITH_TIMEOUT(tray.Available(), 10000);
        test::RecordingBoxes boxes;
        test::FakeDialogs dialogs;
        test::IdleService service;
        MainWindow w(PanelConfig{}, {boxes, tray, dialogs, "/nonexistent/NorvexPanel.cfg", {}});
        w.Attach(&service);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(DockedIconCount(), 0);

        w.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(DockedIconCount(), 1, 5000);
        QWidget* icon = DockedIconWidget();
        QVERIFY(icon);
        // docked: the icon's window now lives inside trayer's
        const QString id = QStringLiteral("0x%1").arg(icon->winId(), 0, 16);
        QTRY_VERIFY_WITH_TIMEOUT(QString::fromStdString(TrayTree()).contains(id), 5000);

        const QPoint centre = icon->rect().center();
        QTest::mouseClick(icon, Qt::LeftButton, {}, centre);
        QTest::qWait(100);
        QVERIFY(!w.isVisible());  // a single click does nothing on an XEmbed tray
        QCOMPARE(DockedIconCount(), 1);
        QTest::mouseDClick(icon, Qt::LeftButton, {}, centre);
        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible() && !w.isMinimized(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(DockedIconCount(), 0, 5000);
        QVERIFY(!w.InTray());
    }
};

}  // namespace norvex

int main(int argc, char** argv) {
    using norvex::test::PathExists;
    if (!PathExists(norvex::test::PrivateDisplay::kXvfb) || !PathExists(norvex::kTrayer) ||
        !PathExists(norvex::kXwininfo)) {
        std::fputs("SKIP: Xvfb, trayer or xwininfo is not installed\n", stderr);
        return 0;
    }
    // no StatusNotifierWatcher may be found: the tray is to be trayer's XEmbed one
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    norvex::XSession x;
    if (!x.Start()) {
        std::fputs("FAIL: no private X server with a tray could be started\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    norvex::RealTrayTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "real_tray_test.moc"
