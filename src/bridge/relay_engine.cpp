#include "bridge/relay_engine.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "bridge/engine_run.h"

namespace norvex {

namespace {

int64_t UnixMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Opening the port and the rest of a run's start; false when the run cannot begin.
bool BeginRun(EngineRun& run) {
    if (!run.sessionReady || !run.wake.Valid()) {
        run.stopReason = StopReason::kStartFailed;
        return false;
    }
    if (!IsUsableGroupId(run.config.groupId)) {
        run.stopReason = StopReason::kInvalidGroupId;
        return false;
    }
    Emit(run, {.state = EngineState::kOpeningPort});
    std::string error;
    run.port = OpenNetPort(run.config.portName, run.config.virtualPort, &error);
    if (!run.port) {
        run.stopReason = StopReason::kPortOpenFailed;
        run.stopDetail = error;
        return false;
    }
    run.portDropped = run.port->DroppedBytes();
    run.orders.reorderWaitMs = run.config.tuning.reorderWaitMs;
    Emit(run, {.state = EngineState::kPortOpen});
    return true;
}

void RunLoop(EngineRun& run) {
    run.lastInputTick = NowMs(run);
    for (;;) {
        if (ConnectPhase(run) == Phase::kStop) return;
        Phase p = SubscribePhase(run);
        if (p == Phase::kStop) return;
        if (p == Phase::kReconnect) continue;
        run.subscribedBefore = true;
        if (RelayPhase(run) == Phase::kStop) return;
        run.counters.NoteDisconnected();
    }
}

void EndRun(EngineRun& run) {
    if (run.stopReason == StopReason::kMalformedPacket && run.stopDetail.empty())
        run.stopDetail = CodecFailureText(run.lastReceiveResult);
    run.counters.NoteDisconnected();
    run.socket.Close();
    // released packets were acknowledged to the broker: the port gets them even at a stop
    if (run.port) CommitPortOut(run);
    run.port.reset();
    mqtt::ReleaseChain(&run.out);
    run.orders.Clear();
    run.portOut.Clear();
    run.gathered = 0;
    run.held.clear();
    run.heldBytes = 0;
    run.portWatchOff = false;
    if (run.stopRequested.load(std::memory_order_acquire) &&
        (run.stopReason == StopReason::kNone || run.stopReason == StopReason::kUserStop)) {
        run.stopReason = StopReason::kUserStop;
    }
    Emit(run,
         {.state = EngineState::kStopped, .stopReason = run.stopReason, .detail = run.stopDetail});
}

}  // namespace

std::string CodecFailureText(int32_t code) {
    switch (code) {
        case mqtt::kErrMalformed:
            return "a header, length or field that MQTT 3.1.1 does not allow";
        case mqtt::kErrOverflow:
            return "the socket reader delivered more than it was offered";
        case mqtt::kErrNoMemory:
            return "out of memory";
        case mqtt::kErrNotUtf8:
            return "a text is not valid UTF-8";
        case mqtt::kErrBadParameter:
            return "a field is missing or not allowed";
        case mqtt::kErrTooLong:
            return "longer than MQTT allows";
        default:
            return "codec result " + std::to_string(code);
    }
}

EngineRun::~EngineRun() {
    mqtt::ReleaseChain(&out);
    mqtt::FreeSession(&mqtt);
}

uint32_t NowMs(const EngineRun& run) {
    return run.clock.NowMs();
}

bool Stopping(const EngineRun& run) {
    return run.stopRequested.load(std::memory_order_acquire);
}

void Emit(EngineRun& run, EngineStatus status) {
    if (status.state == EngineState::kSubscribed) {
        run.counters.NoteSubscribed(run.subscribedBefore, UnixMs());
    }
    run.events.OnState(status);
}

void EmitFault(EngineRun& run, NetworkFault fault) {
    Emit(run, {.state = EngineState::kNetworkFault,
               .fault = fault,
               .sysErrno = run.socket.LastErrno(),
               .connAckCode = run.connAckCode,
               .detail = run.socket.LastError()});
}

bool Pause(EngineRun& run, uint32_t ms) {
    const uint32_t start = NowMs(run);
    for (;;) {
        if (Stopping(run)) return false;
        uint32_t spent = TickSince(NowMs(run), start);
        if (spent >= ms) return true;
        pollfd fds[3] = {{run.wake.Fd(), POLLIN, 0}};
        WatchPortWhileDown(run, fds + 1);
        ::poll(fds, 3, static_cast<int>(ms - spent));
        ServePortWhileDown(run, fds + 1);
    }
}

bool SendOut(EngineRun& run) {
    int32_t r = mqtt::SendChain(&run.mqtt, &run.out);
    mqtt::ReleaseChain(&run.out);
    if (r < 0) return false;
    run.lastSendTick = NowMs(run);
    return true;
}

int32_t ReceiveFromBroker(EngineRun& run) {
    run.deferWrites = true;
    int32_t r = mqtt::ReceivePacket(&run.mqtt);
    run.lastReceiveResult = r;
    run.deferWrites = false;
    // one flush for the whole read, whatever became of it: what was handled has been (or is
    // about to be) acknowledged and must reach the port
    FlushDue(run);
    bool acked = QueueDeferred(run);
    // our acknowledgements, if they left whole, carried the TCP ACK for this read; else it is
    // sent on its own now
    run.socket.AckIfOwed();
    if (!acked && (r == 0 || r == mqtt::kErrNoData)) return mqtt::kErrAckNotSent;
    return r;
}

bool OutgoingStalled(EngineRun& run) {
    if (run.socket.PendingOut() == 0) {
        run.outWaiting = false;
        return false;
    }
    uint32_t now = NowMs(run);
    uint64_t sent = run.socket.SentTotal();
    if (!run.outWaiting || sent != run.outSentSeen) {
        run.outWaiting = true;
        run.outSentSeen = sent;
        run.outProgressTick = now;
        return false;
    }
    return TickSince(now, run.outProgressTick) >= kAnswerLimitMs;
}

RelayEngine::RelayEngine(EngineEvents& events, const TickClock& clock)
    : run_(std::make_unique<EngineRun>(events, clock, counters_, relays_)) {
    run_->sessionReady = SetupEngineSession(*run_) == 0;
}

RelayEngine::~RelayEngine() {
    RequestStop();
    Join();
}

bool RelayEngine::Start(const EngineConfig& config) {
    if (Active()) return false;
    Join();
    EngineRun& run = *run_;
    relays_.clear();
    for (const RelayEntry& e : config.relays) {
        RelayDevice d;
        d.devid = e.devid;
        d.iccid = e.iccid;
        d.imei = e.imei;
        relays_.push_back(d);
    }
    run.config = config;
    run.ids = BuildRelayIdentity(config.groupId, config.groupSerial, config.productId);
    run.stopReason = StopReason::kNone;
    run.stopDetail.clear();
    run.subscribedBefore = false;
    run.stopRequested.store(false, std::memory_order_release);
    run.wake.Clear();
    active_.store(true, std::memory_order_release);
    thread_ = std::jthread([this] { ThreadMain(); });
    return true;
}

void RelayEngine::ThreadMain() {
    EngineRun& run = *run_;
    if (BeginRun(run)) RunLoop(run);
    EndRun(run);
    active_.store(false, std::memory_order_release);
}

void RelayEngine::RequestStop() {
    run_->stopRequested.store(true, std::memory_order_release);
    run_->wake.Raise();
}

void RelayEngine::Join() {
    if (thread_.joinable()) thread_.join();
}

uint32_t RelayEngine::LastHeardTick(size_t row) const {
    if (row >= relays_.size()) return kNeverHeard;
    return relays_[row].lastHeardTick.load(std::memory_order_relaxed);
}

uint16_t RelayEngine::LastPacketId() const {
    return run_->publishPacketId.load(std::memory_order_relaxed);
}

void RelayEngine::SetLastPacketId(uint16_t id) {
    if (!Active()) run_->publishPacketId.store(id, std::memory_order_relaxed);
}

void RelayEngine::SetTraceHook(TraceHook hook) {
    if (!Active()) run_->trace = std::move(hook);
}

}  // namespace norvex
