#include "panel/main_window.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <cstdio>

#include "panel/about_box.h"
#include "panel/app_icon.h"
#include "panel/dialog_env.h"
#include "panel/dialog_geometry.h"
#include "panel/monitor_window.h"
#include "panel/shell_text.h"
#include "panel/start_button.h"
#include "shell/close_rule.h"
#include "shell/config_location.h"
#include "shell/port_chooser.h"
#include "shell/shell_texts.h"
#include "shell/stats_line.h"

namespace norvex {
namespace {

constexpr int kStatusTimerMs = 1000;
constexpr size_t kMonitorLines = 4096;  // lines that may wait for the monitor's next drain
constexpr char kMonitorMenuText[] = "数据监视(&M)...";

struct ColumnSpec {
    const char* title;
    int width;
};
constexpr ColumnSpec kRelayColumns[] = {
    {"devid", 80}, {"status", 50}, {"iccid", 160}, {"imei", 120}};

void Place(QWidget* w, MainControl c, DialogBaseUnits base) {
    UnitRect px = ToPixels(MainControlUnits(c), base);
    w->setGeometry(px.x, px.y, px.width, px.height);
}

// A drop-down's rectangle includes its opened list; closed, it is as high as its font wants.
void PlaceChooser(QComboBox* box, MainControl c, DialogBaseUnits base) {
    UnitRect px = ToPixels(MainControlUnits(c), base);
    box->setGeometry(px.x, px.y, px.width, box->sizeHint().height());
    box->setMaxVisibleItems(std::max(1, px.height / std::max(1, box->sizeHint().height())));
}

}  // namespace

MainWindow::MainWindow(PanelConfig config, MainWindowDeps deps)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      config_(std::move(config)),
      deps_(std::move(deps)),
      chooser_(config_),
      tray_(deps_.tray.Host()),
      feed_(std::make_shared<MonitorFeed>(kMonitorLines)) {
    setWindowTitle(tr(kMainCaption));
    setWindowIcon(AppIcon());
    setFont(DialogFont(kMainFontPoints));
    clock_.start();
    BuildControls();
    FillChoosers();

    auto* about = new QAction(AboutMenuText(), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &MainWindow::ShowAbout);
    addAction(about);
    auto* monitor = new QAction(tr(kMonitorMenuText), this);
    connect(monitor, &QAction::triggered, this, &MainWindow::ShowMonitor);
    addAction(monitor);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    timer_.setInterval(kStatusTimerMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (service_) service_->OnTimer();
        RefreshCounters();
    });
    connect(&deps_.tray, &TrayIcon::activated, this, &MainWindow::OnTrayActivated);
    connect(&deps_.tray, &TrayIcon::restoreChosen, this, [this] {
        if (tray_.OnRestoreChosen()) RestoreFromTray();
    });
    connect(&deps_.tray, &TrayIcon::aboutChosen, this, &MainWindow::ShowAbout);
}

MainWindow::~MainWindow() {
    if (busy_) QApplication::restoreOverrideCursor();
}

void MainWindow::BuildControls() {
    DialogBaseUnits base = BaseUnitsOf(font());
    UnitRect client = ToPixels(kMainClientUnits, base);
    // the status line adds two text lines under the relay list
    const int statusHeight = 2 * fontMetrics().lineSpacing();
    setFixedSize(client.width, client.height + statusHeight + 4);

    auto label = [&](const char* text, MainControl c) {
        auto* l = new QLabel(tr(text), this);
        UnitRect px = ToPixels(MainControlUnits(c), base);
        // the label's box is one text line in dialog units; let the glyphs keep their height
        l->setGeometry(px.x, px.y, px.width, std::max(px.height, l->sizeHint().height()));
    };
    label("网络侧串口", MainControl::kNetPortLabel);
    label("应用端串口", MainControl::kAppPortLabel);
    label("当前使用的RS485设备群：", MainControl::kGroupLabel);

    netPort_ = new QComboBox(this);
    appPort_ = new QComboBox(this);
    group_ = new QComboBox(this);
    PlaceChooser(netPort_, MainControl::kNetPortChooser, base);
    PlaceChooser(appPort_, MainControl::kAppPortChooser, base);
    PlaceChooser(group_, MainControl::kGroupChooser, base);

    details_ = new QPushButton(tr("详情"), this);
    Place(details_, MainControl::kDetailsButton, base);
    start_ = new norvex::StartButton(this);
    start_->setText(ShellText(kTextStartService));
    Place(start_, MainControl::kStartButton, base);

    relays_ = new QTreeWidget(this);
    Place(relays_, MainControl::kRelayList, base);
    relays_->setRootIsDecorated(false);
    relays_->setSortingEnabled(false);
    relays_->setSelectionBehavior(QAbstractItemView::SelectRows);
    relays_->setSelectionMode(QAbstractItemView::SingleSelection);
    relays_->setUniformRowHeights(true);
    QStringList titles;
    for (const ColumnSpec& c : kRelayColumns) titles << QString::fromLatin1(c.title);
    relays_->setHeaderLabels(titles);
    relays_->header()->setSectionsMovable(true);
    relays_->header()->setStretchLastSection(false);
    relays_->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int i = 0; i < 4; ++i) relays_->setColumnWidth(i, kRelayColumns[i].width);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setGeometry(relays_->x(), client.height + 2, relays_->width(), statusHeight);

    setTabOrder(netPort_, appPort_);
    setTabOrder(appPort_, group_);
    setTabOrder(group_, details_);
    setTabOrder(details_, start_);
    setTabOrder(start_, relays_);

    connect(netPort_, &QComboBox::activated, this,
            [this](int i) { config_.netPortName = netPort_->itemText(i).toStdString(); });
    connect(appPort_, &QComboBox::activated, this,
            [this](int i) { config_.appPortName = appPort_->itemText(i).toStdString(); });
    connect(group_, &QComboBox::activated, this, &MainWindow::OnGroupActivated);
    connect(details_, &QPushButton::clicked, this, &MainWindow::OnDetails);
    connect(start_, &QPushButton::clicked, this, &MainWindow::OnStartStop);
}

void MainWindow::FillChoosers() {
    const std::string virtualPort = VirtualPortItem(deps_.runtimeDir.c_str(), getuid());
    const std::pair<QComboBox*, const std::string*> ports[] = {{netPort_, &config_.netPortName},
                                                               {appPort_, &config_.appPortName}};
    for (const auto& [box, stored] : ports) {
        PortChooserFill fill =
            FillPortChooser(deps_.ports, *stored, box == netPort_ ? virtualPort : std::string());
        for (size_t i = 0; i < fill.items.size(); ++i) {
            box->addItem(ToQ(fill.items[i]));
            if (!fill.toolTips[i].empty())
                box->setItemData(static_cast<int>(i), ToQ(fill.toolTips[i]), Qt::ToolTipRole);
        }
        box->setCurrentIndex(fill.selected);
    }
    FillGroupChooser(chooser_.GroupIndex());
}

void MainWindow::FillGroupChooser(int select) {
    group_->clear();
    for (const std::string& item : chooser_.Items()) group_->addItem(ShellText(item));
    group_->setCurrentIndex(select);
}

void MainWindow::OnGroupActivated(int item) {
    if (chooser_.Pick(item) != GroupPick::kOpenLogin) return;
    if (std::optional<GroupRecord> added = deps_.dialogs.Login(this)) {
        int select = chooser_.LoginAccepted(std::move(*added));
        FillGroupChooser(select);
    } else {
        group_->setCurrentIndex(chooser_.LoginCancelled());
    }
}

void MainWindow::OnDetails() {
    if (const GroupRecord* g = chooser_.DetailsGroup()) {
        deps_.dialogs.Details(this, g->id, g->password);
    }
}

void MainWindow::OnStartStop() {
    if (!service_ || !service_->StartStopClicked(config_, chooser_.GroupIndex())) return;
    if (deps_.boxes.AskYesNo(this, ShellText(kCaptionPrompt), ShellText(kTextStopQuestion))) {
        service_->ConfirmStop();
    }
}

void MainWindow::Launch() {
    if (service_ && service_->StartAtLaunch(config_, chooser_.GroupIndex())) {
        showPending_ = true;  // SetBusy(false) shows the window
        return;
    }
    ShowWhenSettled();
}

// The window appears only once the start action's messages have been answered.
void MainWindow::ShowWhenSettled() {
    showPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (!showPending_ || messageDepth_ > 0 || busy_) return;
        showPending_ = false;
        show();
    });
}

ConfigSaveResult MainWindow::Save() {
    if (!deps_.keepFileReason.empty()) {
        std::fprintf(stderr, "norvex-panel: %s: %s; the file is left as it is\n",
                     deps_.configPath.c_str(), deps_.keepFileReason.c_str());
        return ConfigSaveResult::kOk;
    }
    if (!EnsureConfigDirectory(deps_.configPath)) return ConfigSaveResult::kCannotCreate;
    return SavePanelConfig(deps_.configPath, config_, chooser_.GroupIndex());
}

ConfigSaveResult MainWindow::Shutdown() {
    if (service_) service_->StopAndWait();
    return Save();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    CloseOutcome out = DecideClose(service_ && service_->RunActive(), [this] { return Save(); });
    if (!out.message.empty()) {
        deps_.boxes.Inform(this, QString::fromUtf8(kPanelAppName), ShellText(out.message));
    }
    if (out.close) {
        if (tray_.InTray()) deps_.tray.Hide();
        event->accept();
        emit closed();
    } else {
        event->ignore();
    }
}

// As in a dialog: Return and Enter press the focused button (a plain widget's buttons leave
// the key to their window) and never close; Escape is the window's cancel, a close request
// through the close rule like every other way of closing.
void MainWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            close();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QAbstractButton*>(focusWidget());
                button && button->isEnabled() && button->isVisible()) {
                button->click();
            }
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized()) return;
    if (!tray_.OnMinimised(deps_.tray.Available())) return;
    deps_.tray.Show();
    if (service_) service_->SetInTray(true);
    // hiding from inside the state change confuses some window managers
    QTimer::singleShot(0, this, [this] {
        if (tray_.InTray()) hide();
    });
}

void MainWindow::OnTrayActivated(TrayClick click) {
    if (tray_.OnIconActivated(click)) RestoreFromTray();
}

void MainWindow::RestoreFromTray() {
    deps_.tray.Hide();
    balloons_.Reset();
    if (service_) service_->SetInTray(false);
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::ShowAbout() {
    AboutBox box(this);
    box.exec();
}

void MainWindow::ShowMonitor() {
    if (!monitor_) monitor_ = new MonitorWindow(feed_, deps_.boxes, this);
    monitor_->showNormal();
    monitor_->raise();
    monitor_->activateWindow();
}

void MainWindow::SetCounterSource(std::function<CounterSnapshot()> source) {
    counters_ = std::move(source);
    RefreshCounters();
}

// The figures of norvexd's stats line, in the window's language.
QString MainWindow::CounterSummary(const CounterSnapshot& c, int64_t nowUnixMs) {
    QString line = tr("发往群 %1 字节 %2 包；来自群 %3 字节 %4 包；丢弃重复 %5、过时 %6、"
                      "无接收方 %7 字节")
                       .arg(c.serialBytesToGroup)
                       .arg(c.packetsToGroup)
                       .arg(c.serialBytesFromGroup)
                       .arg(c.packetsFromGroup)
                       .arg(c.duplicatesDropped)
                       .arg(c.lateDropped)
                       .arg(c.bytesNoListener);
    // only the request/response timings give these up, so the usual line stays as short
    if (c.missingGivenUp > 0) line += tr("，放弃缺失 %1 包").arg(c.missingGivenUp);
    if (c.staleBytesDropped > 0) line += tr("，过期 %1 字节").arg(c.staleBytesDropped);
    line += tr("；重连 %1 次；").arg(c.reconnects);
    const int64_t seconds = LastConnectAgeSeconds(c, nowUnixMs);
    if (seconds < 0) return line + tr("从未连接");
    line += tr("上次连接于 %1 秒前").arg(seconds);
    if (!c.connected) line += tr("，现已断开");
    return line;
}

void MainWindow::RefreshCounters() {
    if (counters_) {
        status_->setText(CounterSummary(counters_(), QDateTime::currentMSecsSinceEpoch()));
    }
}

void MainWindow::SetStartButton(const QString& text, bool enabled) {
    start_->Show(text, enabled);
}

void MainWindow::EnableChoosers(bool enabled) {
    for (QComboBox* box : {netPort_, appPort_, group_}) box->setEnabled(enabled);
}

void MainWindow::InvertStartButton() {
    if (!tray_.InTray()) start_->FlashInverted();
}

void MainWindow::ClearRelayRows() {
    relays_->clear();
}

void MainWindow::AddRelayRow(const QStringList& cells) {
    relays_->addTopLevelItem(new QTreeWidgetItem(cells));
}

void MainWindow::SetRelayCell(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = relays_->topLevelItem(row)) item->setText(column, text);
}

void MainWindow::ShowMessage(const QString& caption, const QString& text) {
    ++messageDepth_;
    deps_.boxes.Inform(isVisible() ? this : nullptr, caption, text);
    --messageDepth_;
    if (endPending_ && messageDepth_ == 0) {
        EndProgram();
        return;
    }
    if (showPending_) ShowWhenSettled();
}

// Posted behind the message that explains it, but a box's own event loop may run it while the
// box is still open: ending then would take the message away unread.
void MainWindow::EndProgram() {
    if (messageDepth_ > 0) {
        endPending_ = true;
        return;
    }
    endPending_ = false;
    showPending_ = false;
    if (tray_.InTray()) deps_.tray.Hide();
    hide();
    emit closed();
}

void MainWindow::ShowNotice(const QString& title, const QString& text) {
    if (tray_.InTray()) {
        if (balloons_.Admit(title.toStdString(), text.toStdString(),
                            static_cast<uint32_t>(clock_.elapsed()))) {
            deps_.tray.ShowBalloon(title, text);
        }
    } else {
        start_->ShowNotice(text);
    }
}

void MainWindow::SetStatusTimer(bool on) {
    if (on) {
        timer_.start();  // restarts a running timer
    } else {
        timer_.stop();
        RefreshCounters();
    }
}

void MainWindow::SetBusy(bool busy) {
    if (busy == busy_) return;
    busy_ = busy;
    setEnabled(!busy);
    if (busy) {
        QApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    } else {
        QApplication::restoreOverrideCursor();
        if (showPending_) ShowWhenSettled();
    }
}

}  // namespace norvex
