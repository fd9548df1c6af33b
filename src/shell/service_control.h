#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "bridge/engine_events.h"
#include "bridge/relay_engine.h"
#include "shell/panel_config.h"
#include "shell/site_env.h"
#include "shell/status_mark.h"

namespace norvex {

class PanelView;
class GroupGateway;
class ReportQueue;

enum class StartOutcome {
    kStarted,        // the engine runs; it reports "运行中，点击停止" once the port is open
    kPending,        // the web requests run off this thread; the rest follows on it later
    kNoGroup,        // no current group: told the user to add one; nothing changed
    kGroupRejected,  // the group check failed: told the user; nothing changed
    kBusy,           // a run is still active, ending or starting; nothing changed
    kEngineNotStarted,  // the engine could not be started; the panel is handed back
    kCancelled          // a stop came during the web requests; nothing was started
};

// What a click on Start/Stop leaves to the caller.
enum class ClickStep {
    kDone,     // the start action ran (or nothing could be done)
    kAskStop,  // a run is active: ask the stop question, and on yes call RequestStop
};

// Asked when a start-up web request has ended: true when a stop came meanwhile (the request
// was then cut short, so its empty reply says nothing about the group).
using StartCancelled = std::function<bool()>;

// Where the start action's blocking web requests run.  The default runs `work` and then
// `done` at once on the caller's thread (norvexd, tests).  A window runs `work` on a thread of
// its own and queues `done` to its UI thread.
using OffThread = std::function<void(std::function<void()> work, std::function<void()> done)>;

// The site's fixed values for every run.
struct ServiceSite {
    std::string brokerHost{kDefaultBrokerHost};
    int brokerPort = kDefaultBrokerPort;
    std::string productId;
    TlsSettings brokerTls;           // plain TCP unless enabled
    VirtualPortOptions virtualPort;  // for a network-side port named "pty:PATH"
    RelayTuning tuning;              // the request/response timings; default: none
};

// The broker, its TLS and the product ID as the site's environment gives them, with the timings.
ServiceSite SiteFrom(const SiteEnv& env, const RelayTuning& tuning);

// The Start/Stop button, the status timer and the engine's events, without any window: the
// panel and the headless service both drive it and see its effects through their PanelView.
// Public calls come from one thread (the UI thread, the service's main thread); engine events
// arrive on the engine's thread and are turned into view calls there.
class ServiceControl final : private EngineEvents {
public:
    // appName is the caption of message boxes.
    ServiceControl(PanelView& view, GroupGateway& groups, std::string appName, ServiceSite site,
                   const TickClock& clock = SystemTickClock(), OffThread offThread = {});
    // Stops and joins an active run, and waits for a start-up web request still under way on
    // another thread (it uses the gateway, which its owner may destroy next).
    ~ServiceControl();
    ServiceControl(const ServiceControl&) = delete;
    ServiceControl& operator=(const ServiceControl&) = delete;

    // The click on Start/Stop: the start action when no run is active; otherwise kAskStop.  The
    // caller asks in its own way (a window's dialog, a test's answer) and calls RequestStop on
    // yes, which does nothing if the run has ended by itself meanwhile.
    ClickStep OnStartStopClicked(const PanelConfig& config, int groupIndex);
    // The start action for the group at groupIndex, with the ports of config.
    StartOutcome Start(const PanelConfig& config, int groupIndex);
    // A confirmed stop: "正在停止..." on a disabled button, timer off, the engine asked to end.
    // Does nothing when no run is active.  The engine hands the panel back when it has ended.
    void RequestStop();

    // Lets a stop that comes during the start action's web requests give the start up.
    void SetStartCancelled(StartCancelled probe) { startCancelled_ = std::move(probe); }

    // The status timer's tick: each heard relay's last-heard tick becomes "√" or "×".
    void OnTimer();
    bool TimerActive() const { return timerActive_; }

    // True from a start until the run has ended and handed the panel back (also while a start
    // waits for its web requests).  The window may close, and the process exit, only when false.
    bool RunActive() const;
    // Blocks until the engine's thread has ended.
    void JoinEngine() { engine_.Join(); }

    // The window is hidden in the tray: failed connects then raise no notice and a connect
    // does not flash the button (it still rewrites it, which clears an earlier notice).  Any
    // thread.
    void SetInTray(bool inTray) { inTray_.store(inTray, std::memory_order_relaxed); }

    const RelayEngine& Engine() const { return engine_; }
    RelayEngine& Engine() { return engine_; }
    // The lapse after which a relay reads "×"; shortened only by tests.
    void SetOfflineAfterMs(uint32_t ms) { offlineAfterMs_ = ms; }
    uint32_t OfflineAfterMs() const { return offlineAfterMs_; }

private:
    struct StartJob;
    void CheckGroupDone(const std::shared_ptr<StartJob>& job);
    void DevicesDone(const std::shared_ptr<StartJob>& job);
    StartOutcome Launch(const std::shared_ptr<StartJob>& job);
    bool GiveUpIfCancelled(const std::shared_ptr<StartJob>& job);
    // Runs a blocking request through offThread_, counted so that the destructor can wait.
    void RunRequest(std::function<void()> work, std::function<void()> done);

    void OnState(const EngineStatus& status) override;
    void OnRelayHeard(const RelayHeard& heard) override;
    void OnRelayInfoChanged(const RelayRecord& report) override;
    void ShowFault(const EngineStatus& status);
    void Diagnose(const std::string& line);
    void ShowStopped(const EngineStatus& status);

    PanelView& view_;
    GroupGateway& groups_;
    std::string appName_;
    ServiceSite site_;
    const TickClock& clock_;
    OffThread offThread_;
    StartCancelled startCancelled_;
    std::unique_ptr<ReportQueue> reports_;
    std::mutex requestsMutex_;
    std::condition_variable requestsDone_;
    int requestsInFlight_ = 0;  // under requestsMutex_
    // Orders the view calls of a stop request against those of the run's own end, which come
    // from the engine's thread: "正在停止..." must never land after "已停止，点击运行".
    std::mutex viewMutex_;
    bool runLive_ = false;  // under viewMutex_: started and its kStopped not yet shown
    std::atomic<bool> inTray_{false};
    bool starting_ = false;  // a start action waits for its web requests
    bool timerActive_ = false;
    uint32_t offlineAfterMs_ = kRelayOfflineAfterMs;
    std::string portName_;  // of the current run, for its messages
    std::string groupId_;
    std::string lastDiagnostic_;  // engine thread: the same reason is said once per outage
    RelayEngine engine_;          // last: its thread reports to the members above
};

// "Group:%s(%s) ..." with the group's id and name.
std::string GroupRejectedText(const GroupRecord& group);

}  // namespace norvex
