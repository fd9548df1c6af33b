#pragma once
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bridge/engine_counters.h"
#include "panel/ui_ports.h"
#include "shell/config_file.h"
#include "shell/group_chooser.h"
#include "shell/serial_ports.h"
#include "shell/tray_model.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace norvex {

class MonitorWindow;
struct MonitorFeed;
class StartButton;

inline constexpr char kMainCaption[] = "虚拟RS485网络代理服务器-控制面板(V1.10)";

struct MainWindowDeps {
    MessageBoxes& boxes;
    TrayIcon& tray;
    GroupDialogs& dialogs;
    std::string configPath;
    std::vector<SerialPortEntry> ports;
    // Why the configuration file was not read whole (empty when it was, or was missing): such a
    // file is never rewritten on closing, or the groups it holds beyond what was read would go.
    std::string keepFileReason;
    // The user's runtime directory (XDG_RUNTIME_DIR), where the built-in virtual port's link
    // goes; empty: none, the link goes under /tmp.
    std::string runtimeDir;
};

// The control panel's main window.  It owns the configuration and the choosers; what the
// Start/Stop button, the relay list and the timer show is decided by the service behind
// ServicePort, which tells it through the UI-thread methods below.
class MainWindow : public QWidget {
    Q_OBJECT

public:
    MainWindow(PanelConfig config, MainWindowDeps deps);
    ~MainWindow() override;

    void Attach(ServicePort* service) { service_ = service; }
    // The start action once, then the window shows (after the action's web requests and
    // messages, when it has any).
    void Launch();
    // A termination signal: stops an active run, waits for its end and saves.
    ConfigSaveResult Shutdown();

public slots:
    // What the service shows; UI thread only (the queued view delivers them there).
    void SetStartButton(const QString& text, bool enabled);
    void EnableChoosers(bool enabled);
    void InvertStartButton();
    void ClearRelayRows();
    void AddRelayRow(const QStringList& cells);
    void SetRelayCell(int row, int column, const QString& text);
    void ShowMessage(const QString& caption, const QString& text);
    void ShowNotice(const QString& title, const QString& text);
    void SetStatusTimer(bool on);
    void SetBusy(bool busy);
    // Ends the program without saving, once the message boxes still open are answered.
    void EndProgram();

public:
    // Where the status line under the relay list takes its figures; shown at once, then on
    // every status-timer tick and once more when the timer stops (the run's last figures).
    void SetCounterSource(std::function<CounterSnapshot()> source);
    // What the engine's trace hook feeds (see MonitorHook); it outlives the window.
    const std::shared_ptr<MonitorFeed>& Feed() const { return feed_; }

    // For tests and scripts.
    QComboBox* NetPortChooser() const { return netPort_; }
    QComboBox* AppPortChooser() const { return appPort_; }
    QComboBox* GroupChooserBox() const { return group_; }
    QPushButton* DetailsButton() const { return details_; }
    norvex::StartButton* StartStopButton() const { return start_; }
    QTreeWidget* RelayList() const { return relays_; }
    const PanelConfig& Config() const { return config_; }
    int GroupIndex() const { return chooser_.GroupIndex(); }
    bool StatusTimerActive() const { return timer_.isActive(); }
    bool InTray() const { return tray_.InTray(); }
    QLabel* StatusLine() const { return status_; }
    void ShowAbout();
    void ShowMonitor();
    MonitorWindow* Monitor() const { return monitor_; }

signals:
    // The window closed (the close rule let it) or the program is to end: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void FillChoosers();
    void FillGroupChooser(int select);
    void OnGroupActivated(int item);
    void OnDetails();
    void OnStartStop();
    void OnTrayActivated(TrayClick click);
    void RestoreFromTray();
    void ShowWhenSettled();
    void RefreshCounters();
    ConfigSaveResult Save();
    static QString CounterSummary(const CounterSnapshot& counters, int64_t nowUnixMs);

    PanelConfig config_;
    MainWindowDeps deps_;
    GroupChooser chooser_;
    TrayModel tray_;
    BalloonGate balloons_;
    QElapsedTimer clock_;
    ServicePort* service_ = nullptr;
    QTimer timer_;
    QComboBox* netPort_ = nullptr;
    QComboBox* appPort_ = nullptr;
    QComboBox* group_ = nullptr;
    QPushButton* details_ = nullptr;
    norvex::StartButton* start_ = nullptr;
    QTreeWidget* relays_ = nullptr;
    QLabel* status_ = nullptr;
    std::function<CounterSnapshot()> counters_;
    std::shared_ptr<MonitorFeed> feed_;
    MonitorWindow* monitor_ = nullptr;  // made when first opened; a child window
    bool busy_ = false;
    int messageDepth_ = 0;
    bool showPending_ = false;
    bool endPending_ = false;
};

}  // namespace norvex
