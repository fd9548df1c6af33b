#include "shell/service_control.h"

#include "bridge/panel_sink.h"
#include "bridge/panel_texts.h"
#include "bridge/service_context.h"
#include "shell/group_gateway.h"
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

}  // namespace

std::string GroupRejectedText(const GroupRecord& group) {
    return ReplaceFirst(ReplaceFirst(kTextGroupRejected, group.id), group.name);
}

ServiceControl::ServiceControl(ServiceContext& ctx, PanelSink& panel, GroupGateway& groups,
                               std::string appName)
    : ctx_(ctx), panel_(panel), groups_(groups), appName_(std::move(appName)) {}

ServiceControl::~ServiceControl() {
    worker_.RequestStop();
    worker_.Join();
}

void ServiceControl::OnStartStopClicked(const PanelConfig& config, int groupIndex,
                                        const std::function<bool()>& confirmStop) {
    if (ctx_.running.load(std::memory_order_acquire) != 0) {
        if (confirmStop()) RequestStop();
        return;
    }
    Start(config, groupIndex);
}

StartOutcome ServiceControl::Start(const PanelConfig& config, int groupIndex) {
    // The relay table is only rebuilt while no worker touches it.
    if (ctx_.running.load(std::memory_order_acquire) != 0 || worker_.Running()) {
        return StartOutcome::kBusy;
    }
    if (groupIndex < 0 || static_cast<size_t>(groupIndex) >= config.groups.size()) {
        panel_.ShowMessage(appName_, kTextNoGroup);
        return StartOutcome::kNoGroup;
    }
    const GroupRecord& group = config.groups[static_cast<size_t>(groupIndex)];
    std::optional<std::string> serial = groups_.FetchGroupSerial(group.id, group.password);
    if (!serial || serial->size() > kMaxIdentityBytes || group.id.size() > kMaxIdentityBytes) {
        panel_.ShowMessage(appName_, GroupRejectedText(group));
        return StartOutcome::kGroupRejected;
    }
    ctx_.groupSerial = *serial;
    ctx_.groupId = group.id;
    ctx_.groupIndex = groupIndex;
    ctx_.netPortName = config.netPortName;
    ctx_.dialog = &panel_;
    ctx_.reportDevice = [this](const DeviceReport& r) { groups_.ReportDevice(r); };

    panel_.EnableChoosers(false);
    panel_.SetStartButton(kTextStarting, false);
    FillRelayTable(group.id);

    if (!worker_.Start(ctx_)) {
        ctx_.running.store(0, std::memory_order_release);
        panel_.SetStartButton(kTextStopped, true);
        panel_.EnableChoosers(true);
        return StartOutcome::kWorkerNotStarted;
    }
    timerActive_ = true;  // restarted: the period begins now
    return StartOutcome::kStarted;
}

void ServiceControl::FillRelayTable(const std::string& groupId) {
    ctx_.deviceTable.clear();
    std::vector<StartDevice> devices;
    if (groups_.FetchDevices(groupId, devices) == DeviceListOutcome::kFailed) {
        panel_.ShowMessage(appName_, kTextDeviceListFailed);
    }
    for (const StartDevice& d : devices) {
        RelayDevice rec;
        rec.devid = d.devid;
        rec.iccid = d.iccid;
        rec.imei = d.imei;
        ctx_.deviceTable.push_back(rec);
    }
    panel_.ClearRelayRows();
    for (const RelayDevice& rec : ctx_.deviceTable) {
        panel_.AddRelayRow({std::to_string(rec.devid), std::string(kRelayNeverHeardMark), rec.iccid,
                            rec.imei});
    }
}

void ServiceControl::RequestStop() {
    ctx_.running.store(0, std::memory_order_release);
    panel_.SetStartButton(kTextStopping, false);
    timerActive_ = false;
}

void ServiceControl::OnTimer() {
    if (!timerActive_) return;
    uint32_t now = ctx_.clock->NowMs();
    // Records are neither added nor removed while a worker runs: only the ticks change.
    for (size_t i = 0; i < ctx_.deviceTable.size(); ++i) {
        uint32_t heard = ctx_.deviceTable[i].lastHeardTick.load(std::memory_order_acquire);
        std::string_view mark = RelayStatusMark(now, heard, offlineAfterMs_);
        if (!mark.empty()) {
            panel_.SetRelayCell(static_cast<int>(i), kRelayColumnStatus, std::string(mark));
        }
    }
}

}  // namespace norvex
