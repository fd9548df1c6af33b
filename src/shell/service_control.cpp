#include "shell/service_control.h"

#include <cerrno>

#include "shell/broker_refusal.h"
#include "shell/group_gateway.h"
#include "shell/panel_view.h"
#include "shell/report_queue.h"
#include "shell/shell_texts.h"

namespace norvex {
namespace {

// groupId and groupSerial travel as 8-bit text of at most 255 bytes; a longer one would be
// cut into a different identity, so it is refused like a failed check.
constexpr size_t kMaxIdentityBytes = 255;

std::string ReplaceFirst(std::string text, const std::string& value) {
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

void RunHere(std::function<void()> work, std::function<void()> done) {
    work();
    done();
}

}  // namespace

// What a start action carries from its web requests back to the control's thread.
struct ServiceControl::StartJob {
    GroupRecord group;
    std::string netPortName;
    std::optional<std::string> serial;
    DeviceListOutcome devicesOutcome = DeviceListOutcome::kNoDevices;
    std::vector<RelayRecord> devices;
    StartOutcome outcome = StartOutcome::kPending;
};

std::string GroupRejectedText(const GroupRecord& group) {
    return ReplaceFirst(ReplaceFirst(kTextGroupRejected, group.id), group.name);
}

ServiceSite SiteFrom(const SiteEnv& env, const RelayTuning& tuning) {
    return ServiceSite{.brokerHost = env.brokerHost,
                       .brokerPort = env.brokerPort,
                       .productId = env.productId,
                       .brokerTls = env.brokerTls,
                       .tuning = tuning};
}

ServiceControl::ServiceControl(PanelView& view, GroupGateway& groups, std::string appName,
                               ServiceSite site, const TickClock& clock, OffThread offThread)
    : view_(view),
      groups_(groups),
      appName_(std::move(appName)),
      site_(std::move(site)),
      clock_(clock),
      offThread_(offThread ? std::move(offThread) : OffThread(RunHere)),
      reports_(std::make_unique<ReportQueue>(
          [&groups](const RelayRecord& r) { groups.ReportDevice(r); })),
      engine_(*this, clock) {}

ServiceControl::~ServiceControl() {
    engine_.RequestStop();
    engine_.Join();
    std::unique_lock lock(requestsMutex_);
    requestsDone_.wait(lock, [this] { return requestsInFlight_ == 0; });
}

void ServiceControl::RunRequest(std::function<void()> work, std::function<void()> done) {
    {
        std::lock_guard lock(requestsMutex_);
        ++requestsInFlight_;
    }
    offThread_(
        [this, work = std::move(work)] {
            work();
            // the last touch of this object on the request's thread
            std::lock_guard lock(requestsMutex_);
            --requestsInFlight_;
            requestsDone_.notify_all();
        },
        std::move(done));
}

bool ServiceControl::RunActive() const {
    return starting_ || engine_.Active();
}

ClickStep ServiceControl::OnStartStopClicked(const PanelConfig& config, int groupIndex) {
    if (starting_) return ClickStep::kDone;
    if (engine_.Active()) return ClickStep::kAskStop;
    Start(config, groupIndex);
    return ClickStep::kDone;
}

StartOutcome ServiceControl::Start(const PanelConfig& config, int groupIndex) {
    // the relay table is only rebuilt while no engine thread touches it
    if (RunActive()) return StartOutcome::kBusy;
    if (groupIndex < 0 || static_cast<size_t>(groupIndex) >= config.groups.size()) {
        view_.ShowMessage(appName_, kTextNoGroup);
        return StartOutcome::kNoGroup;
    }
    auto job = std::make_shared<StartJob>();
    job->group = config.groups[static_cast<size_t>(groupIndex)];
    job->netPortName = config.netPortName;
    starting_ = true;
    view_.SetBusy(true);
    GroupGateway& groups = groups_;
    RunRequest(
        [job, &groups] {
            job->serial = groups.FetchGroupSerial(job->group.id, job->group.password);
        },
        [this, job] { CheckGroupDone(job); });
    return job->outcome;
}

// A cancelled start ends quietly: its requests were cut short, so "rejected" or "no list"
// would be untrue.  The panel is handed back as after a stop.
bool ServiceControl::GiveUpIfCancelled(const std::shared_ptr<StartJob>& job) {
    if (!startCancelled_ || !startCancelled_()) return false;
    starting_ = false;
    view_.SetBusy(false);
    job->outcome = StartOutcome::kCancelled;
    return true;
}

void ServiceControl::CheckGroupDone(const std::shared_ptr<StartJob>& job) {
    if (GiveUpIfCancelled(job)) return;
    const std::optional<std::string>& serial = job->serial;
    if (!serial || serial->size() > kMaxIdentityBytes || job->group.id.size() > kMaxIdentityBytes) {
        starting_ = false;
        view_.SetBusy(false);
        view_.ShowMessage(appName_, GroupRejectedText(job->group));
        job->outcome = StartOutcome::kGroupRejected;
        return;
    }
    view_.EnableChoosers(false);
    view_.SetStartButton(kTextStarting, false);
    GroupGateway& groups = groups_;
    RunRequest(
        [job, &groups] { job->devicesOutcome = groups.FetchDevices(job->group.id, job->devices); },
        [this, job] { DevicesDone(job); });
}

void ServiceControl::DevicesDone(const std::shared_ptr<StartJob>& job) {
    if (GiveUpIfCancelled(job)) {
        view_.SetStartButton(kTextStopped, true);
        view_.EnableChoosers(true);
        return;
    }
    view_.SetBusy(false);
    if (job->devicesOutcome == DeviceListOutcome::kFailed) {
        view_.ShowMessage(appName_, kTextDeviceListFailed);
        job->devices.clear();
    }
    view_.ClearRelayRows();
    for (const RelayRecord& d : job->devices) {
        view_.AddRelayRow(
            {std::to_string(d.devid), std::string(kRelayNeverHeardMark), d.iccid, d.imei});
    }
    job->outcome = Launch(job);
}

StartOutcome ServiceControl::Launch(const std::shared_ptr<StartJob>& job) {
    EngineConfig config;
    config.brokerHost = site_.brokerHost;
    config.brokerPort = site_.brokerPort;
    config.productId = site_.productId;
    config.brokerTls = site_.brokerTls;
    config.groupId = job->group.id;
    config.groupSerial = *job->serial;
    config.portName = job->netPortName;
    config.virtualPort = site_.virtualPort;
    config.tuning = site_.tuning;
    config.relays = job->devices;
    portName_ = config.portName;
    groupId_ = config.groupId;
    {
        std::lock_guard lock(viewMutex_);
        runLive_ = true;
    }
    // (re)started before the engine, whose first events would otherwise race it: the period
    // begins now
    timerActive_ = true;
    view_.SetStatusTimer(true);
    bool started = engine_.Start(config);
    starting_ = false;
    if (!started) {
        timerActive_ = false;
        view_.SetStatusTimer(false);
        std::lock_guard lock(viewMutex_);
        runLive_ = false;
        view_.SetStartButton(kTextStopped, true);
        view_.EnableChoosers(true);
        return StartOutcome::kEngineNotStarted;
    }
    return StartOutcome::kStarted;
}

void ServiceControl::RequestStop() {
    {
        std::lock_guard lock(viewMutex_);
        if (!runLive_) return;
        view_.SetStartButton(kTextStopping, false);
        timerActive_ = false;
        view_.SetStatusTimer(false);
    }
    engine_.RequestStop();
}

void ServiceControl::OnTimer() {
    if (!timerActive_) return;
    uint32_t now = clock_.NowMs();
    // rows are neither added nor removed while a run is active: only the ticks change
    for (size_t i = 0; i < engine_.RelayCount(); ++i) {
        std::string_view mark = RelayStatusMark(now, engine_.LastHeardTick(i), offlineAfterMs_);
        if (!mark.empty())
            view_.SetRelayCell(static_cast<int>(i), RelayColumn::kStatus, std::string(mark));
    }
}

void ServiceControl::OnState(const EngineStatus& status) {
    switch (status.state) {
        case EngineState::kPortOpen:
            view_.SetStartButton(kTextRunning, true);
            return;
        case EngineState::kConnected:
            // the fault a notice reported is over: the button is rewritten in the tray too, or
            // a restored window would still show the red notice of an outage long healed; only
            // the flash, which nobody would see, is left out
            if (!inTray_.load(std::memory_order_relaxed)) view_.InvertStartButton();
            view_.SetStartButton(kTextRunning, true);
            return;
        case EngineState::kLoggedIn:
            if (status.connAckCode > 0) Diagnose(BrokerRefusalLine(status.connAckCode));
            return;
        case EngineState::kSubscribed:
            lastDiagnostic_.clear();
            return;
        case EngineState::kNetworkFault:
            ShowFault(status);
            return;
        case EngineState::kStopped:
            ShowStopped(status);
            return;
        case EngineState::kOpeningPort:
        case EngineState::kConnecting:
            return;
    }
}

void ServiceControl::Diagnose(const std::string& line) {
    if (line == lastDiagnostic_) return;
    lastDiagnostic_ = line;
    view_.ShowDiagnostic(line);
}

void ServiceControl::ShowFault(const EngineStatus& status) {
    // a TLS refusal or unusable TLS settings will not cure themselves: say why, once
    if ((status.sysErrno == EPROTO || status.sysErrno == EINVAL) && !status.detail.empty()) {
        Diagnose("broker: " + status.detail);
    }
    switch (status.fault) {
        case NetworkFault::kConnectFailed:
        case NetworkFault::kLoginFailed:
        case NetworkFault::kSubscribeFailed:
            // while hidden in the tray, a failed attempt raises nothing: it repeats every second
            if (!inTray_.load(std::memory_order_relaxed))
                view_.ShowNotice(kCaptionWarning, kTextNetworkFault);
            return;
        case NetworkFault::kConnectionLost:
            view_.ShowNotice(kCaptionWarning, kTextNetworkFault);
            return;
        case NetworkFault::kBrokerSilent:
            view_.ShowDiagnostic("broker: no answer for " + std::to_string(kAnswerLimitMs / 1000) +
                                 " s; connecting again");
            view_.ShowNotice(kCaptionWarning, kTextNetworkFault);
            return;
        case NetworkFault::kLoginNotBuilt:
            // no network trouble and no cure by retrying: said once, no notice every second
            Diagnose("broker: CONNECT cannot be built: " + status.detail);
            return;
        case NetworkFault::kSendFailed:
        case NetworkFault::kNone:
            return;
    }
}

void ServiceControl::ShowStopped(const EngineStatus& status) {
    switch (status.stopReason) {
        case StopReason::kPortOpenFailed:
            // the system's reason (a virtual port's link rules among them) for whoever looks
            if (!status.detail.empty()) view_.ShowDiagnostic(status.detail);
            view_.ShowMessage(kCaptionError, ReplaceFirst(kTextPortOpenFailed, portName_));
            break;
        case StopReason::kPortFailed:
            view_.ShowMessage(kCaptionError, ReplaceFirst(kTextPortFailed, portName_));
            break;
        case StopReason::kInvalidGroupId:
            view_.ShowMessage(kCaptionError, ReplaceFirst(kTextBadGroupId, groupId_));
            break;
        case StopReason::kStartFailed:
            view_.ShowMessage(appName_, kTextSystemError);
            break;
        case StopReason::kMalformedPacket:
            view_.ShowDiagnostic("broker: malformed packet: " + status.detail);
            break;
        default:
            break;
    }
    std::lock_guard lock(viewMutex_);
    runLive_ = false;
    view_.SetStartButton(kTextStopped, true);
    view_.EnableChoosers(true);
    // no later start could do better, and the message has told the user the program closes
    if (status.stopReason == StopReason::kStartFailed) view_.EndProgram();
}

void ServiceControl::OnRelayHeard(const RelayHeard& heard) {
    if (!heard.baseInfo) return;
    int row = static_cast<int>(heard.row);
    view_.SetRelayCell(row, RelayColumn::kStatus, "online");
    view_.SetRelayCell(row, RelayColumn::kIccid, heard.iccid);
    view_.SetRelayCell(row, RelayColumn::kImei, heard.imei);
}

void ServiceControl::OnRelayInfoChanged(const RelayRecord& report) {
    reports_->Push(report);
}

}  // namespace norvex
