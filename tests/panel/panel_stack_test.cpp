// The panel on the real system: a private mosquitto, norvex-groupd holding a group of two
// relays, relay-sim playing them and a pty as the network-side port.  The window starts the
// service by itself, the relays are marked as they report, and Stop and close save the
// configuration.
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>
#include <map>

#include "fullstack_rig.h"
#include "panel/panel_app.h"
#include "panel/start_button.h"
#include "panel_fakes.h"
#include "support/pty_pair.h"
#include "support/text_file.h"

namespace norvex {

class PanelStackTest : public QObject {
    Q_OBJECT

    static QString Cell(MainWindow& w, int row, int column) {
        QTreeWidgetItem* item = w.RelayList()->topLevelItem(row);
        return item ? item->text(column) : QString();
    }

    // The panel's options for the rig: its broker and group service, the pty as a port.
    static PanelOptions StackOptions(const test::GroupRig& rig, const test::PtyPair& pty) {
        std::map<std::string, std::string> vars;
        for (const std::string& kv : rig.Env()) {
            size_t eq = kv.find('=');
            vars[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
        vars["NORVEX_SERIAL_PORTS"] = pty.SlavePath();
        return ParsePanelOptions({"--config", rig.ConfigPath()}, [&vars](const char* name) {
            auto it = vars.find(name);
            return it == vars.end() ? nullptr : it->second.c_str();
        });
    }

private slots:
    void startsRelaysAndSavesOnClose() {
        test::GroupRig rig;
        QVERIFY(rig.Ok());
        test::PtyPair pty;
        QVERIFY(pty.Ok());
        QVERIFY(rig.CreateGroup(pty.SlavePath()));

        test::RecordingBoxes boxes;
        test::FakeTray tray;
        bool closed = false;
        PanelApp app(StackOptions(rig, pty), boxes, tray);
        MainWindow& w = app.Window();
        connect(&w, &MainWindow::closed, [&] { closed = true; });
        QCOMPARE(w.NetPortChooser()->currentText(), QString::fromStdString(pty.SlavePath()));
        app.Launch();

        QTRY_VERIFY_WITH_TIMEOUT(w.isVisible(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(w.StartStopButton()->text(), QStringLiteral("运行中，点击停止"),
                                  20000);
        QVERIFY(!w.GroupChooserBox()->isEnabled());
        QCOMPARE(w.RelayList()->topLevelItemCount(), 2);
        QCOMPARE(Cell(w, 0, 1), QStringLiteral("--"));
        QCOMPARE(Cell(w, 1, 1), QStringLiteral("--"));
        QTRY_VERIFY_WITH_TIMEOUT(app.Control().Engine().Counters().Snapshot().connected, 20000);

        test::ChildProcess relays;
        QVERIFY(relays.Start({test::ProgramPath("relay-sim"), "--group", rig.GroupId(), "--devids",
                              "1,2", "--ping-ms", "60000", "--broker", rig.Broker().HostPort()},
                             rig.Env(), rig.Scratch("relays.log")));
        // the report marks a relay "online" at once; the next timer tick turns it into "√"
        QTRY_VERIFY_WITH_TIMEOUT(Cell(w, 0, 1) != QStringLiteral("--"), 20000);
        QVERIFY(Cell(w, 0, 1) == QStringLiteral("online") || Cell(w, 0, 1) == QStringLiteral("√"));
        QTRY_COMPARE_WITH_TIMEOUT(Cell(w, 0, 1), QStringLiteral("√"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(Cell(w, 1, 1), QStringLiteral("√"), 20000);
        QVERIFY(boxes.shown.empty());

        // close while running is refused; Stop, then close saves
        QVERIFY(!w.close());
        QCOMPARE(boxes.shown.size(), size_t(1));
        std::filesystem::remove(rig.ConfigPath());
        boxes.answer = true;
        QTest::mouseClick(w.StartStopButton(), Qt::LeftButton);
        QCOMPARE(boxes.asked.size(), size_t(1));
        QTRY_COMPARE_WITH_TIMEOUT(w.StartStopButton()->text(), QStringLiteral("已停止，点击运行"),
                                  20000);
        QVERIFY(w.GroupChooserBox()->isEnabled());
        QVERIFY(w.close());
        QVERIFY(closed);
        std::string saved = test::ReadTextFile(rig.ConfigPath());
        QVERIFY(saved.rfind(pty.SlavePath() + "\r\n", 0) == 0);
        QVERIFY(saved.find("\r\n" + rig.GroupId() + "\r\n" + rig.GroupId() + ",pump house,") !=
                std::string::npos);
        relays.Stop();
    }

    // The run ends by itself (the port hangs up) while the stop question is open; the "Yes"
    // that follows must not leave the button at "正在停止..." nor block the close.
    void aStopAnsweredAfterTheRunEndedLeavesThePanelStopped() {
        test::GroupRig rig;
        QVERIFY(rig.Ok());
        test::PtyPair pty;
        QVERIFY(pty.Ok());
        QVERIFY(rig.CreateGroup(pty.SlavePath()));

        test::RecordingBoxes boxes;
        test::FakeTray tray;
        PanelApp app(StackOptions(rig, pty), boxes, tray);
        MainWindow& w = app.Window();
        app.Launch();
        QTRY_COMPARE_WITH_TIMEOUT(w.StartStopButton()->text(), QStringLiteral("运行中，点击停止"),
                                  20000);
        boxes.answer = true;
        bool endedBeforeAnswer = false;
        boxes.onAsk = [&] {
            pty.CloseMaster();
            endedBeforeAnswer = QTest::qWaitFor([&] { return !app.Control().RunActive(); }, 20000);
        };
        QTest::mouseClick(w.StartStopButton(), Qt::LeftButton);
        QVERIFY(endedBeforeAnswer);
        QTRY_COMPARE_WITH_TIMEOUT(w.StartStopButton()->text(), QStringLiteral("已停止，点击运行"),
                                  20000);
        QTest::qWait(100);  // whatever the late answer queued has been shown by now
        QCOMPARE(w.StartStopButton()->text(), QStringLiteral("已停止，点击运行"));
        QVERIFY(w.StartStopButton()->isEnabled() && w.GroupChooserBox()->isEnabled());
        QVERIFY(!boxes.shown.empty());  // the port's own message
        QVERIFY(w.close());
    }
};

}  // namespace norvex

QTEST_MAIN(norvex::PanelStackTest)
#include "panel_stack_test.moc"
