#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "bridge/service_worker.h"
#include "shell/panel_config.h"
#include "shell/status_mark.h"

namespace norvex {

struct ServiceContext;
class PanelSink;
class GroupGateway;

enum class StartOutcome {
    kStarted,          // the worker runs; it reports "运行中，点击停止" once the port is open
    kNoGroup,          // no current group: told the user to add one; nothing changed
    kGroupRejected,    // the group check failed: told the user; nothing changed
    kBusy,             // a run is still active or ending; nothing changed
    kWorkerNotStarted  // the worker could not be started; the panel is handed back
};

// The Start/Stop button and the one-second status timer, without any window: the panel and
// the headless service both drive it and see its effects through their PanelSink.  All calls
// come from one thread (the panel's UI thread, the service's main thread).
class ServiceControl {
public:
    // appName is the caption of message boxes.  ctx.session, broker fields and productId must be
    // set; the control fills the rest before each start.
    ServiceControl(ServiceContext& ctx, PanelSink& panel, GroupGateway& groups, std::string appName);
    ~ServiceControl();
    ServiceControl(const ServiceControl&) = delete;
    ServiceControl& operator=(const ServiceControl&) = delete;

    // The click on Start/Stop: the Start action when the service is stopped; otherwise asks
    // confirmStop and, on yes, the stop request.  Decided by ctx.running alone.
    void OnStartStopClicked(const PanelConfig& config, int groupIndex,
                            const std::function<bool()>& confirmStop);

    // The Start action for the group at groupIndex, with the ports of config.
    StartOutcome Start(const PanelConfig& config, int groupIndex);
    // A confirmed stop: running := 0, "正在停止..." on a disabled button, timer off.  The
    // worker hands the panel back when it has ended.
    void RequestStop();

    // Timer 1: turns each heard relay's last-heard tick into "√" or "×".  Does nothing while
    // the timer is off.  It stays on when the worker ends by itself.
    void OnTimer();
    bool TimerActive() const { return timerActive_; }

    // True from a start until the worker has handed the panel back.
    bool WorkerActive() const { return worker_.Running(); }
    void JoinWorker() { worker_.Join(); }

    // The lapse after which a relay reads "×"; shortened only by tests.
    void SetOfflineAfterMs(uint32_t ms) { offlineAfterMs_ = ms; }

private:
    void FillRelayTable(const std::string& groupId);

    ServiceContext& ctx_;
    PanelSink& panel_;
    GroupGateway& groups_;
    std::string appName_;
    ServiceWorker worker_;
    bool timerActive_ = false;
    uint32_t offlineAfterMs_ = kRelayOfflineAfterMs;
};

// "Group:%s(%s) ..." with the group's id and name.
std::string GroupRejectedText(const GroupRecord& group);

}  // namespace norvex
