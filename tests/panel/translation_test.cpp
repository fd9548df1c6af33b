// The panel's language: the C locale keeps every text byte for byte; an English desktop gets
// the compiled translation, for the window's own texts, the texts the control chooses (filled
// ones too) and the status line, which then reads exactly as norvexd's stats figures.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "panel/main_window.h"
#include "panel/panel_translation.h"
#include "panel/shell_text.h"
#include "panel/start_button.h"
#include "panel_fakes.h"
#include "shell/shell_texts.h"
#include "shell/stats_line.h"

namespace norvex {
namespace {

constexpr char kPortFailedFilled[] =
    "网络侧串口(/dev/tnt0)打开错误,请检查:\r\n1.网络侧串口是否选择正确。\r\n2.是否重复打开该程序"
    "。\r\n3.是否其它软件打开该串口端口。";

struct Panel {
    test::RecordingBoxes boxes;
    test::FakeTray tray;
    test::FakeDialogs dialogs;
    MainWindow window{PanelConfig{}, {boxes, tray, dialogs, "/nonexistent/NorvexPanel.cfg", {}}};
};

CounterSnapshot Figures() {
    CounterSnapshot c;
    c.serialBytesToGroup = 1234, c.packetsToGroup = 20, c.lateDropped = 2, c.reconnects = 1;
    return c;
}

}  // namespace

class TranslationTest : public QObject {
    Q_OBJECT

private slots:
    // first: nothing is installed yet
    void cLocaleKeepsTheChineseByteForByte() {
        std::unique_ptr<QTranslator> none =
            InstallPanelTranslation(ChoosePanelLanguage(nullptr, "C", nullptr, "en_US.UTF-8"));
        QVERIFY(!none);
        Panel p;
        QCOMPARE(p.window.windowTitle().toUtf8(), QByteArray(kMainCaption));
        QCOMPARE(p.window.DetailsButton()->text().toUtf8(), QByteArray("详情"));
        QCOMPARE(p.window.StartStopButton()->text().toUtf8(), QByteArray(kTextStartService));
        QCOMPARE(ShellText(kPortFailedFilled).toUtf8(), QByteArray(kPortFailedFilled));
        p.window.SetCounterSource(Figures);
        QVERIFY(
            p.window.StatusLine()->text().startsWith(QStringLiteral("发往群 1234 字节 20 包；")));
    }

    void englishDesktopGetsTheEnglishTexts() {
        std::unique_ptr<QTranslator> english =
            InstallPanelTranslation(ChoosePanelLanguage(nullptr, nullptr, nullptr, "en_GB.UTF-8"));
        QVERIFY(english);
        Panel p;
        QCOMPARE(p.window.windowTitle(),
                 QStringLiteral("Virtual RS485 Network Proxy Server - Control Panel (V1.10)"));
        QCOMPARE(p.window.DetailsButton()->text(), QStringLiteral("Details"));
        QCOMPARE(p.window.StartStopButton()->text(), QStringLiteral("Start service"));
        QCOMPARE(ShellText(kTextNetworkFault), QStringLiteral("Network fault, reconnecting.."));
        QCOMPARE(ShellText(kPortFailedFilled),
                 QStringLiteral("Network-side serial port (/dev/tnt0) could not be opened. Please "
                                "check:\r\n1. Is the right network-side port chosen?\r\n2. Is "
                                "this program already running?\r\n3. Has other software opened "
                                "this port?"));
        p.window.SetCounterSource(Figures);
        QCOMPARE(p.window.StatusLine()->text(),
                 QString::fromStdString(FormatCounterSummary(Figures(), 0)));
        QCoreApplication::removeTranslator(english.get());
    }
};

}  // namespace norvex

QTEST_MAIN(norvex::TranslationTest)
#include "translation_test.moc"
