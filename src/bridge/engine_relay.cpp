// The relay phase: bytes from the port to the group, and the loop that sleeps until the broker,
// the port or a timer has something.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>

#include "bridge/engine_run.h"
#include "common/deadline.h"

namespace norvex {

namespace {

enum class SerialStep { kIdle, kPublished, kReconnect, kStop, kPortFailed };

// What the last wait saw.
struct Wakeup {
    bool socketReady = true;   // the first pass looks at everything that may already wait
    bool portReady = true;     // input on the port
    bool portAlert = false;    // hang-up or error on the port
    bool portWritable = true;  // room for the bytes the port holds back
};

// While the broker does not take what waits for it, serial input stays in the port.
bool BrokerBacklogged(const EngineRun& run) {
    return run.socket.PendingOut() >= kOutgoingPause;
}

Phase ConnectionLost(EngineRun& run) {
    CommitPortOut(run);  // a port failure shows at the next write
    EmitFault(run, NetworkFault::kConnectionLost);
    run.socket.Close();
    return Phase::kReconnect;
}

// Moves on what waits for the broker; a broker that has taken nothing of it for the answer
// limit is a lost connection.
Phase ServeOutgoing(EngineRun& run) {
    if (run.socket.PendingOut() > 0 && run.socket.SendPending() < 0) return ConnectionLost(run);
    if (OutgoingStalled(run)) return ConnectionLost(run);
    return Phase::kNext;
}

int64_t UnixUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

Phase Receive(EngineRun& run, bool ready) {
    if (!ready) return Phase::kNext;
    int32_t r = ReceiveFromBroker(run);
    if (r == 0 || r == mqtt::kErrNoData) return Phase::kNext;
    // a closed or failing connection, also one seen while acknowledging: reconnect, after the
    // port has what this read delivered
    if (r == mqtt::kErrReadFailed || r == mqtt::kErrAckNotSent) return ConnectionLost(run);
    run.stopReason = StopReason::kMalformedPacket;
    return Phase::kStop;
}

// Appends the next host PUBLISH, carrying n serial bytes, to the out chain.  False when it
// cannot be built: the run stops then.
bool AppendPublish(EngineRun& run, const uint8_t* data, size_t n) {
    uint16_t id = NextNonZero(run.publishPacketId.load(std::memory_order_relaxed));
    run.publishPacketId.store(id, std::memory_order_relaxed);
    uint16_t seq = run.hostSequence;
    run.hostSequence = NextNonZero(run.hostSequence);
    uint8_t payload[kHostHeaderSize + kMaxHostData];
    int len = EncodeHostPayload(seq, data, n, payload, sizeof payload);
    if (len < 0 || mqtt::BuildPublish(&run.out, id, run.ids.hostTopic.c_str(), payload,
                                      static_cast<uint32_t>(len)) != 0) {
        return false;
    }
    run.counters.AddToGroup(n);
    if (run.trace) {
        run.trace(TraceRecord{.direction = TraceDirection::kToGroup,
                              .unixUs = UnixUs(),
                              .sequence = seq,
                              .data = data,
                              .length = n});
    }
    return true;
}

// Takes the first n gathered bytes off the buffer into a PUBLISH on the out chain.
bool AppendFront(EngineRun& run, size_t n) {
    bool ok = AppendPublish(run, run.gather, n);
    run.gathered -= n;
    std::memmove(run.gather, run.gather + n, run.gathered);
    return ok;
}

// Sends what the chain holds, one packet or a run of them, in one write; the next gather window
// is measured from now.
SerialStep SendPublished(EngineRun& run, bool built) {
    run.lastInputTick = NowMs(run);
    // nothing left: the window of the next input opens when that input is read
    if (run.gathered == 0) run.gathering = false;
    if (!built) {
        mqtt::ReleaseChain(&run.out);
        run.stopReason = StopReason::kPublishNotBuilt;
        return SerialStep::kStop;
    }
    if (!SendOut(run)) {
        EmitFault(run, NetworkFault::kSendFailed);
        run.socket.Close();
        return SerialStep::kReconnect;
    }
    return SerialStep::kPublished;
}

// How long gathered bytes wait for company, and from when: by default from when the first of
// them was seen; with an idle gather from when the last came.
uint32_t GatherWindowMs(const EngineRun& run) {
    return run.config.tuning.gatherIdleMs > 0 ? run.config.tuning.gatherIdleMs : kGatherMs;
}

void NoteInput(EngineRun& run, size_t got) {
    if (got == 0) return;
    if (!run.gathering || run.config.tuning.gatherIdleMs > 0) run.lastInputTick = NowMs(run);
    run.gathering = true;
}

// Moves what was held through an outage, then what the port has, into the gather buffer, as far
// as it has room.  -1: the port failed.
int TakeInput(EngineRun& run, int waiting) {
    size_t moved = TakeHeldInput(run);
    NoteInput(run, moved);
    size_t room = sizeof run.gather - run.gathered;
    if (waiting <= 0 || room == 0 || !run.held.empty()) return static_cast<int>(moved);
    int got =
        run.port->Read(run.gather + run.gathered, std::min(room, static_cast<size_t>(waiting)));
    if (got < 0) return -1;
    NoteInput(run, static_cast<size_t>(got));
    run.gathered += static_cast<size_t>(got);
    return got + static_cast<int>(moved);
}

// 64 bytes go out at once; fewer wait kGatherMs from the moment input was first seen after an
// empty queue (or from the last publish), in case more follow; with an idle gather they wait
// until the port has been quiet for that long.  Only bytes really read are ever published.
SerialStep ServeSerial(EngineRun& run, const Wakeup& wake) {
    if (BrokerBacklogged(run)) return SerialStep::kIdle;
    const bool alert = wake.portAlert;
    // nothing new on the port and nothing gathered: no need to ask it
    if (!wake.portReady && !alert && run.gathered == 0 && run.held.empty()) {
        run.gathering = false;  // the next byte opens a new window when it is read
        return SerialStep::kIdle;
    }
    int n = run.port->InputCount();
    if (n < 0 || TakeInput(run, n) < 0) return SerialStep::kPortFailed;
    if (run.gathered >= kMaxHostData) {
        bool built = true;
        while (built && run.gathered >= kMaxHostData) built = AppendFront(run, kMaxHostData);
        return SendPublished(run, built);
    }
    if (run.gathered == 0) {
        run.gathering = false;
        run.lastInputTick = NowMs(run);
        // a hang-up with nothing waiting: a read tells whether the port is gone
        if (alert && n == 0 && TakeInput(run, static_cast<int>(kMaxHostData)) < 0) {
            return SerialStep::kPortFailed;
        }
        return SerialStep::kIdle;
    }
    // the port hung up behind the bytes it gave: send them before it is found dead
    if (alert || TickSince(NowMs(run), run.lastInputTick) >= GatherWindowMs(run)) {
        return SendPublished(run, AppendFront(run, run.gathered));
    }
    return SerialStep::kIdle;
}

// The broker drops a client that stays silent for 1.5 x the 120 s keep-alive.
Phase KeepAlive(EngineRun& run) {
    if (TickSince(NowMs(run), run.lastSendTick) < kKeepAliveMs) return Phase::kNext;
    if (mqtt::BuildPingReq(&run.out) != 0) {
        mqtt::ReleaseChain(&run.out);
        return Phase::kNext;
    }
    if (SendOut(run)) return Phase::kNext;
    EmitFault(run, NetworkFault::kSendFailed);
    run.socket.Close();
    return Phase::kReconnect;
}

// Nothing runs on a fixed beat: the loop sleeps until the next thing that is due.
int IdleTimeout(const EngineRun& run) {
    uint32_t now = NowMs(run);
    uint32_t t = TickMsLeft(now, run.lastSendTick, kKeepAliveMs);
    if (run.gathered > 0 && !BrokerBacklogged(run)) {
        t = std::min(t, TickMsLeft(now, run.lastInputTick, GatherWindowMs(run)));
    }
    if (!run.held.empty() && !BrokerBacklogged(run)) t = 0;  // the gather buffer had no room
    if (run.outWaiting) t = std::min(t, TickMsLeft(now, run.outProgressTick, kAnswerLimitMs));
    t = std::min(t, run.orders.NextLapseIn(now));
    return static_cast<int>(std::min<uint32_t>(t, INT_MAX));
}

// Sleeps until the broker, the port or a stop request has something, or the timeout passes.
// Gathered bytes sit in our buffer, not in the port's queue, so the port wakes us only for new
// input.
Wakeup WaitForWork(EngineRun& run, int timeoutMs) {
    NetPort& port = *run.port;
    short socketEvents = run.socket.PendingOut() > 0 ? POLLIN | POLLOUT : POLLIN;
    short portEvents = port.PollEvents();
    if (BrokerBacklogged(run)) portEvents &= ~POLLIN;
    pollfd fds[4] = {{run.socket.Fd(), socketEvents, 0},
                     {port.Fd(), portEvents, 0},
                     {run.wake.Fd(), POLLIN, 0},
                     {port.WatchFd(), POLLIN, 0}};
    if (fds[1].events == 0) fds[1].fd = -1;
    Wakeup w{false, false, false, false};
    if (::poll(fds, 4, timeoutMs) <= 0) return w;
    // room to send alone is served by ServeOutgoing, which every pass runs
    w.socketReady = (fds[0].revents & ~POLLOUT) != 0;
    w.portReady = (fds[1].revents & POLLIN) != 0;
    w.portAlert = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    w.portWritable = (fds[1].revents & POLLOUT) != 0;
    if (fds[3].revents != 0) port.OnWatchReady();
    return w;
}

}  // namespace

int FlushDue(EngineRun& run) {
    // a flush writes at most two packets of a sender; repeat until nothing more is due
    uint32_t now = NowMs(run);
    int total = 0;
    for (;;) {
        int n = run.orders.Flush(now, run.portOut);
        run.counters.AddGivenUp(run.orders.TakeGivenUp());
        if (n <= 0) return n < 0 ? n : total;
        total += n;
    }
}

// What the CONNACK and SUBACK waits released is still in the batch: the first pass writes it.
Phase RelayPhase(EngineRun& run) {
    DropStaleInput(run);
    Wakeup wake;
    for (;;) {
        if (Stopping(run)) return Phase::kStop;
        if (wake.portWritable && run.port->FlushOutput() < 0) break;
        Phase p = ServeOutgoing(run);
        if (p != Phase::kNext) return p;
        p = Receive(run, wake.socketReady);
        if (p != Phase::kNext) return p;
        if (!CommitPortOut(run)) break;
        SerialStep sv = ServeSerial(run, wake);
        if (sv == SerialStep::kReconnect) return Phase::kReconnect;
        if (sv == SerialStep::kStop) return Phase::kStop;
        if (sv == SerialStep::kPortFailed) break;
        if (FlushDue(run) < 0 || !CommitPortOut(run)) break;
        p = KeepAlive(run);
        if (p != Phase::kNext) return p;
        // Everything due has been done; more input wakes poll().  Only bytes the TLS layer
        // already decrypted are not announced by it.
        bool pending = run.socket.HasPendingInput();
        wake = WaitForWork(run, pending ? 0 : IdleTimeout(run));
        wake.socketReady = wake.socketReady || pending;
    }
    run.stopReason = StopReason::kPortFailed;
    run.stopDetail = run.port->LastError();
    return Phase::kStop;
}

}  // namespace norvex
