// The main window's wiring: what it shows of the configuration, the choosers, the service's
// calls, the tray, the about box and the close rule.  The decisions behind them are tested in
// tests/shell.
#include "panel/main_window.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <sstream>

#include "panel/about_box.h"
#include "panel/monitor_window.h"
#include "panel/qt_ui_ports.h"
#include "panel/start_button.h"
#include "panel_fakes.h"
#include "shell/close_rule.h"

namespace norvex {
namespace {

class FakeService : public ServicePort {
public:
    bool StartAtLaunch(const PanelConfig&, int groupIndex) override {
        launchGroup = groupIndex;
        return pending;
    }
    bool StartStopClicked(const PanelConfig& config, int groupIndex) override {
        clickedPort = config.netPortName;
        clickedGroup = groupIndex;
        return active;
    }
    void ConfirmStop() override { stopped = true; }
    void OnTimer() override { ++ticks; }
    bool RunActive() const override { return active; }
    void StopAndWait() override { active = false, waited = true; }
    void SetInTray(bool t) override { inTray = t; }

    bool pending = false, active = false, stopped = false, waited = false, inTray = false;
    int launchGroup = -2, clickedGroup = -2, ticks = 0;
    std::string clickedPort;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

QStringList Items(QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    struct Rig {
        test::RecordingBoxes boxes;
        test::FakeTray tray;
        test::FakeDialogs dialogs;
        FakeService service;
        QTemporaryDir dir;
        bool closed = false;
        std::unique_ptr<MainWindow> window;

        explicit Rig(PanelConfig config, std::vector<SerialPortEntry> ports = {},
                     TrayHost host = TrayHost::kXEmbed, std::string keepFileReason = {}) {
            tray.host = host;
            window = std::make_unique<MainWindow>(
                std::move(config), MainWindowDeps{boxes, tray, dialogs, Path(), std::move(ports),
                                                  std::move(keepFileReason), "/run/user/4242"});
            connect(window.get(), &MainWindow::closed, [this] { closed = true; });
            window->Attach(&service);
        }
        std::string Path() const { return dir.filePath("cfg/NorvexPanel.cfg").toStdString(); }
    };

    static PanelConfig Stored() {
        PanelConfig c;
        c.netPortName = "/dev/ttyB";
        c.appPortName = "/dev/gone";
        c.storedGroupId = "202";
        c.groups = {{"101", "pump", "pw1"}, {"202", "tank", "pw2"}};
        return c;
    }
    static std::vector<SerialPortEntry> Ports() {
        return {{"d", "/dev/ttyA", "/dev/ttyUSB7"}, {"d", "/dev/ttyB"}, {"d", "/dev/ttyB"}};
    }

private slots:
    void windowIsFixedWithItsCaptionColumnsAndNoMaximise() {
        Rig rig(Stored(), Ports());
        MainWindow& w = *rig.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("虚拟RS485网络代理服务器-控制面板(V1.10)"));
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QTreeWidget* list = w.RelayList();
        QCOMPARE(list->columnCount(), 4);
        const std::pair<const char*, int> columns[] = {
            {"devid", 80}, {"status", 50}, {"iccid", 160}, {"imei", 120}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(list->headerItem()->text(i), QString::fromLatin1(columns[i].first));
            QCOMPARE(list->columnWidth(i), columns[i].second);
        }
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(list->header()->sectionsMovable());
    }

    void choosersShowTheConfigurationWithoutChangingIt() {
        Rig rig(Stored(), Ports());
        MainWindow& w = *rig.window;
        // the network side also offers the built-in virtual port, last
        QCOMPARE(Items(w.NetPortChooser()), (QStringList{"/dev/ttyA", "/dev/ttyB", "/dev/ttyB",
                                                         "pty:/run/user/4242/norvex/ttyNorvex0"}));
        QCOMPARE(Items(w.AppPortChooser()), (QStringList{"/dev/ttyA", "/dev/ttyB", "/dev/ttyB"}));
        QCOMPARE(w.NetPortChooser()->currentIndex(), 2);   // the last exact match
        QCOMPARE(w.AppPortChooser()->currentIndex(), -1);  // missing
        QCOMPARE(w.Config().appPortName, std::string("/dev/gone"));
        for (QComboBox* box : {w.NetPortChooser(), w.AppPortChooser()}) {
            QCOMPARE(box->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("/dev/ttyUSB7"));
            QVERIFY(!box->itemData(1, Qt::ToolTipRole).isValid());  // the name is the node
        }
        QCOMPARE(Items(w.GroupChooserBox()),
                 (QStringList{"101(pump)", "202(tank)", "[..添加已有的群..]"}));
        QCOMPARE(w.GroupChooserBox()->currentIndex(), 1);
        w.show();
        // picking a port stores it; the service is handed what the window holds
        w.NetPortChooser()->setCurrentIndex(0);
        emit w.NetPortChooser()->activated(0);
        QTest::mouseClick(w.StartStopButton(), Qt::LeftButton);
        QCOMPARE(rig.service.clickedPort, std::string("/dev/ttyA"));
        QCOMPARE(rig.service.clickedGroup, 1);
    }

    void addingAGroupAgainAndCancellingTheLogin() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        QComboBox* box = w.GroupChooserBox();
        box->setCurrentIndex(2);
        emit box->activated(2);  // the add item; the login is cancelled
        QCOMPARE(rig.dialogs.logins, 1);
        QCOMPARE(box->currentIndex(), 1);
        QCOMPARE(w.GroupIndex(), 1);

        rig.dialogs.loginAnswer = GroupRecord{"101", "pump", "again"};
        box->setCurrentIndex(2);
        emit box->activated(2);
        QCOMPARE(Items(box),
                 (QStringList{"101(pump)", "202(tank)", "101(pump)", "[..添加已有的群..]"}));
        QCOMPARE(box->currentIndex(), 2);
        QCOMPARE(w.GroupIndex(), 2);
        QTest::mouseClick(w.DetailsButton(), Qt::LeftButton);
        QCOMPARE(rig.dialogs.details.size(), size_t(1));
        QCOMPARE(rig.dialogs.details[0].password, std::string("again"));

        Rig empty(PanelConfig{});
        QCOMPARE(empty.window->GroupChooserBox()->currentIndex(), -1);
        emit empty.window->GroupChooserBox()->activated(0);
        QCOMPARE(empty.window->GroupChooserBox()->currentIndex(), -1);
        QTest::mouseClick(empty.window->DetailsButton(), Qt::LeftButton);
        QCOMPARE(empty.dialogs.details.size(), size_t(0));  // no group: nothing happens
    }

    void buttonShowsTheServiceAndNoticesUntilTheNextChange() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        w.SetStartButton(QStringLiteral("正在启动..."), false);
        w.EnableChoosers(false);
        QVERIFY(!w.StartStopButton()->isEnabled());
        QVERIFY(!w.GroupChooserBox()->isEnabled() && !w.NetPortChooser()->isEnabled());
        QVERIFY(w.DetailsButton()->isEnabled());  // never disabled
        w.SetStartButton(QStringLiteral("运行中，点击停止"), true);
        w.ShowNotice(QStringLiteral("警告"), QStringLiteral("网络故障,重连中.."));
        QCOMPARE(w.StartStopButton()->NoticeText(), QStringLiteral("网络故障,重连中.."));
        QVERIFY(rig.tray.balloons.empty());
        w.SetStartButton(QStringLiteral("运行中，点击停止"), true);
        QVERIFY(w.StartStopButton()->NoticeText().isEmpty());
        QCOMPARE(w.StartStopButton()->text(), QStringLiteral("运行中，点击停止"));
        w.InvertStartButton();
        QVERIFY(w.StartStopButton()->Inverted());
        QTRY_VERIFY(!w.StartStopButton()->Inverted());

        w.AddRelayRow({"1", "--", "8986", "8600"});
        w.AddRelayRow({"2", "--", "8987", "8601"});
        w.SetRelayCell(1, 1, QStringLiteral("√"));
        w.SetRelayCell(7, 1, QStringLiteral("×"));  // no such row: ignored
        QCOMPARE(w.RelayList()->topLevelItem(1)->text(1), QStringLiteral("√"));
        QCOMPARE(w.RelayList()->topLevelItem(0)->text(1), QStringLiteral("--"));
        w.ClearRelayRows();
        QCOMPARE(w.RelayList()->topLevelItemCount(), 0);
    }

    void stopQuestionAndTimerGoThroughTheService() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        w.show();
        rig.service.active = true;
        rig.boxes.answer = false;
        QTest::mouseClick(w.StartStopButton(), Qt::LeftButton);
        QCOMPARE(rig.boxes.asked.size(), size_t(1));
        QCOMPARE(rig.boxes.asked[0].caption, QStringLiteral("提示"));
        QCOMPARE(rig.boxes.asked[0].text, QStringLiteral("服务正在运行，是否要停止？"));
        QVERIFY(!rig.service.stopped);
        w.SetStatusTimer(true);
        QTRY_VERIFY_WITH_TIMEOUT(rig.service.ticks >= 1, 5000);
        w.SetStatusTimer(false);
        QVERIFY(!w.StatusTimerActive());
    }

    void minimisingHidesInTheTrayAndADoubleClickRestores() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        w.show();
        w.showMinimized();
        QTRY_VERIFY(!w.isVisible());
        QCOMPARE(rig.tray.shows, 1);
        QVERIFY(rig.tray.visible && rig.service.inTray);
        // in the tray a notice is a balloon, once while it shows
        w.ShowNotice(QStringLiteral("警告"), QStringLiteral("网络故障,重连中.."));
        w.ShowNotice(QStringLiteral("警告"), QStringLiteral("网络故障,重连中.."));
        QCOMPARE(rig.tray.balloons.size(), size_t(1));
        QVERIFY(w.StartStopButton()->NoticeText().isEmpty());
        emit rig.tray.activated(TrayClick::kSingle);  // a single click does nothing
        emit rig.tray.activated(TrayClick::kOther);
        QVERIFY(!w.isVisible());
        emit rig.tray.activated(TrayClick::kDouble);
        QVERIFY(w.isVisible() && !w.isMinimized());
        QVERIFY(!rig.tray.visible && !rig.service.inTray);
        // the icon's menu restores too, and a second minimise docks one icon again
        w.showMinimized();
        QTRY_VERIFY(!w.isVisible());
        QCOMPARE(rig.tray.shows, 2);
        emit rig.tray.restoreChosen();
        QVERIFY(w.isVisible() && !w.isMinimized() && !rig.tray.visible);
        emit rig.tray.restoreChosen();  // no icon any more: nothing
        QCOMPARE(rig.tray.shows, 2);

        // a host that reports only activations restores on one
        Rig sni(Stored(), {}, TrayHost::kActivationOnly);
        sni.window->show();
        sni.window->showMinimized();
        QTRY_VERIFY(!sni.window->isVisible());
        emit sni.tray.activated(TrayClick::kSingle);
        QVERIFY(sni.window->isVisible() && !sni.tray.visible && !sni.service.inTray);

        Rig noTray(Stored());
        noTray.tray.available = false;
        noTray.window->show();
        noTray.window->showMinimized();
        QTest::qWait(50);
        QVERIFY(noTray.window->isVisible());
        QCOMPARE(noTray.tray.shows, 0);
    }

    void closeIsRefusedWhileARunIsActiveAndOtherwiseSaves() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        w.show();
        rig.service.active = true;  // starting, running or stopping
        QVERIFY(!w.close());
        QCOMPARE(rig.boxes.shown.back().text, QString::fromUtf8(kTextCloseWhileRunning));
        QCOMPARE(rig.boxes.shown.back().caption, QStringLiteral("NorvexPanel"));
        QVERIFY(ReadFile(rig.Path()).empty());
        QTest::keyClick(&w, Qt::Key_Escape);  // Esc is a close too
        QCOMPARE(rig.boxes.shown.size(), size_t(2));
        QVERIFY(w.isVisible());

        rig.service.active = false;
        QVERIFY(w.close());
        QVERIFY(rig.closed);
        QCOMPARE(ReadFile(rig.Path()),
                 std::string("/dev/ttyB\r\n/dev/gone\r\n202\r\n101,pump,pw1\r\n202,tank,pw2\r\n"));
        QCOMPARE(rig.boxes.shown.size(), size_t(2));
    }

    // Return and Enter press the focused button and nothing else; only the close rule closes.
    void returnAndEnterPressTheFocusedButtonAndNeverClose() {
        enum class Focus { kStart, kDetails, kChooser };
        struct Case {
            const char* name;
            bool running;
            Focus focus;
            Qt::Key key;
        };
        const Case cases[] = {
            {"stopped, Start", false, Focus::kStart, Qt::Key_Return},
            {"stopped, Start, Enter", false, Focus::kStart, Qt::Key_Enter},
            {"stopped, Details", false, Focus::kDetails, Qt::Key_Return},
            {"running, Start", true, Focus::kStart, Qt::Key_Return},
            {"running, Details", true, Focus::kDetails, Qt::Key_Enter},
            {"stopped, chooser", false, Focus::kChooser, Qt::Key_Return},
        };
        for (const Case& c : cases) {
            Rig rig(Stored());
            MainWindow& w = *rig.window;
            w.show();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            rig.service.active = c.running;
            rig.boxes.answer = false;
            QWidget* target = c.focus == Focus::kStart ? w.StartStopButton()
                              : c.focus == Focus::kDetails
                                  ? static_cast<QWidget*>(w.DetailsButton())
                                  : w.NetPortChooser();
            target->setFocus();
            QCOMPARE(QApplication::focusWidget(), target);
            QTest::keyClick(target, c.key);
            QVERIFY2(w.isVisible() && !rig.closed, c.name);
            QVERIFY2(rig.boxes.shown.empty(), c.name);  // never the close refusal
            QVERIFY2(ReadFile(rig.Path()).empty(), c.name);
            const bool start = c.focus == Focus::kStart;
            QCOMPARE(rig.service.clickedGroup, start ? 1 : -2);
            QCOMPARE(rig.boxes.asked.size(), size_t(start && c.running ? 1 : 0));
            QCOMPARE(rig.dialogs.details.size(), size_t(c.focus == Focus::kDetails ? 1 : 0));
        }
    }

    // Escape is a cancel: in the main window that is a close request under the close rule, in
    // the about box and the message boxes it dismisses them with their negative answer.
    void escapeCancelsTheWindowAndEachDialog() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.StartStopButton()->setFocus();
        QTest::keyClick(w.StartStopButton(), Qt::Key_Escape);
        QVERIFY(rig.closed);
        QVERIFY(!ReadFile(rig.Path()).empty());

        // each dialog is ended by force when Escape left it open: the check fails, never hangs
        int aboutResult = -1;
        test::WhenModal<AboutBox>([](AboutBox* box) {
            QTest::keyClick(box, Qt::Key_Escape);
            if (box->isVisible()) box->done(QDialog::Accepted);
        });
        {
            AboutBox box(nullptr);
            aboutResult = box.exec();
        }
        QCOMPARE(aboutResult, int(QDialog::Rejected));

        QtMessageBoxes boxes;
        test::WhenModal<QMessageBox>([](QMessageBox* box) {
            QTest::keyClick(box, Qt::Key_Escape);
            if (box->isVisible()) box->done(QMessageBox::Yes);
        });
        QVERIFY(!boxes.AskYesNo(nullptr, QStringLiteral("提示"),
                                QStringLiteral("服务正在运行，是否要停止？")));
        bool dismissed = false;
        test::WhenModal<QMessageBox>([&](QMessageBox* box) {
            QTest::keyClick(box, Qt::Key_Escape);
            dismissed = !box->isVisible();
            if (!dismissed) box->done(QMessageBox::Ok);
        });
        boxes.Inform(nullptr, QStringLiteral("NorvexPanel"), QStringLiteral("x"), false);
        QVERIFY(dismissed);
    }

    void aConfigurationThatCannotBeCreatedIsReportedAndTheWindowCloses() {
        test::RecordingBoxes boxes;
        test::FakeTray tray;
        test::FakeDialogs dialogs;
        bool closed = false;
        MainWindow w(Stored(), {boxes, tray, dialogs, "/proc/norvex/NorvexPanel.cfg", {}});
        connect(&w, &MainWindow::closed, [&] { closed = true; });
        w.show();
        QVERIFY(w.close());
        QVERIFY(closed);
        QCOMPARE(boxes.shown.size(), size_t(1));
        QCOMPARE(boxes.shown[0].text, QStringLiteral("电脑错误：配置保存失败！"));
    }

    void launchShowsTheWindowOnlyAfterThePendingStartAndItsMessage() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        rig.service.pending = true;
        w.Launch();
        QCOMPARE(rig.service.launchGroup, 1);
        w.SetBusy(true);
        QTest::qWait(20);
        QVERIFY(!w.isVisible());
        bool visibleDuringBox = true;
        rig.boxes.onInform = [&] { visibleDuringBox = w.isVisible(); };
        w.SetBusy(false);  // queued just before the rejection's message
        w.ShowMessage(QStringLiteral("NorvexPanel"), QStringLiteral("Group:202(tank) ..."));
        QVERIFY(!visibleDuringBox);
        QTRY_VERIFY(w.isVisible());
    }

    // The end comes behind its message, even when the box's own loop delivers it early, and
    // nothing is saved.
    void endProgramWaitsForTheOpenMessageAndSavesNothing() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        bool closedDuringBox = true;
        rig.boxes.onInform = [&] {
            w.EndProgram();
            closedDuringBox = rig.closed;
        };
        w.ShowMessage(QStringLiteral("NorvexPanel"), QStringLiteral("系统错误！程序将关闭"));
        QVERIFY(!closedDuringBox);
        QVERIFY(rig.closed);
        QVERIFY(!w.isVisible());
        QTest::qWait(20);
        QVERIFY(!w.isVisible());  // a pending show does not bring it back
        QVERIFY(ReadFile(rig.Path()).empty());
    }

    // A file read only in part keeps what the window never saw: closing leaves it as it was.
    void aFileNotReadWholeIsNeverRewritten() {
        Rig rig(Stored(), {}, TrayHost::kXEmbed, "line 5 is not a group line");
        QVERIFY(rig.window->close());
        QVERIFY(rig.closed);
        QVERIFY(ReadFile(rig.Path()).empty());
        QCOMPARE(rig.window->Shutdown(), ConfigSaveResult::kOk);
        QVERIFY(ReadFile(rig.Path()).empty());
    }

    void shutdownStopsWaitsAndSaves() {
        Rig rig(Stored());
        rig.service.active = true;
        QCOMPARE(rig.window->Shutdown(), ConfigSaveResult::kOk);
        QVERIFY(rig.service.waited);
        QVERIFY(!ReadFile(rig.Path()).empty());
    }

    void f1OpensTheAboutBox() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QString caption, version;
        test::WhenModal<AboutBox>([&](AboutBox* box) {
            caption = box->windowTitle();
            for (QLabel* l : box->findChildren<QLabel*>()) {
                if (l->text().startsWith("NorvexPanel")) version = l->text();
            }
            box->accept();
        });
        QTest::keyClick(&w, Qt::Key_F1);
        QCOMPARE(caption, QStringLiteral("关于 NorvexPanel"));
        QCOMPARE(version, QStringLiteral("NorvexPanel，1.0 版"));
        QCOMPARE(w.actions().size(), 2);
        QCOMPARE(w.actions()[0]->text(), QStringLiteral("关于 NorvexPanel(&A)..."));
        QCOMPARE(w.actions()[1]->text(), QStringLiteral("数据监视(&M)..."));
    }

    void statusLineShowsTheCountersOnTicksAndWhenTheTimerStops() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        CounterSnapshot figures;
        figures.serialBytesToGroup = 1234, figures.packetsToGroup = 20;
        w.SetCounterSource([&] { return figures; });
        QVERIFY(w.StatusLine()->text().startsWith(QStringLiteral("发往群 1234 字节 20 包；")));
        QVERIFY(w.StatusLine()->text().endsWith(QStringLiteral("从未连接")));
        figures.serialBytesFromGroup = 567, figures.packetsFromGroup = 9;
        w.SetStatusTimer(true);
        QTRY_VERIFY_WITH_TIMEOUT(
            w.StatusLine()->text().contains(QStringLiteral("来自群 567 字节 9 包")), 5000);
        figures.serialBytesToGroup = 99;
        w.SetStatusTimer(false);  // the run ended: its last figures stay
        QVERIFY(w.StatusLine()->text().startsWith(QStringLiteral("发往群 99 字节 20 包；")));
    }

    void monitorShowsHookedLinesDropsPausesAndClears() {
        Rig rig(Stored());
        MainWindow& w = *rig.window;
        TraceHook hook = MonitorHook(w.Feed());
        const uint8_t bytes[] = {0x01, 0x03, 0x41};
        TraceRecord record;
        record.sequence = 12, record.data = bytes, record.length = sizeof bytes;
        hook(record);  // no monitor open: skipped
        QCOMPARE(w.Feed()->lines.Dropped(), uint64_t(0));

        w.actions()[1]->trigger();
        MonitorWindow* m = w.Monitor();
        QVERIFY(m && m->isVisible());
        m->Drain();
        QVERIFY(m->Lines()->toPlainText().isEmpty());

        hook(record);
        QTRY_VERIFY_WITH_TIMEOUT(m->Lines()->toPlainText().contains("seq 12 len 3: 01 03 41"),
                                 5000);
        // a reader that falls behind costs lines, counted, never a wait
        const size_t capacity = w.Feed()->lines.Capacity();
        for (size_t i = 0; i < capacity + 3; ++i) hook(record);
        QTRY_COMPARE_WITH_TIMEOUT(m->DroppedLabel()->text(), QStringLiteral("丢弃：3"), 5000);
        QCOMPARE(m->Lines()->blockCount(), int(capacity + 1));

        QTest::mouseClick(m->PauseButton(), Qt::LeftButton);
        record.sequence = 77;
        hook(record);  // paused: the engine's records are skipped
        w.Feed()->lines.Push("waiting");
        m->Drain();
        QCOMPARE(m->Lines()->blockCount(), int(capacity + 1));
        QTest::mouseClick(m->PauseButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(m->Lines()->toPlainText().endsWith("\nwaiting"), 5000);
        QVERIFY(!m->Lines()->toPlainText().contains("seq 77"));

        QTest::mouseClick(m->ClearButton(), Qt::LeftButton);
        QVERIFY(m->Lines()->toPlainText().isEmpty());
        QCOMPARE(m->DroppedLabel()->text(), QStringLiteral("丢弃：0"));
        m->close();  // closed, the hook skips again
        hook(record);
        m->Drain();
        QVERIFY(m->Lines()->toPlainText().isEmpty());
    }
};

}  // namespace norvex

QTEST_MAIN(norvex::MainWindowTest)
#include "main_window_test.moc"
