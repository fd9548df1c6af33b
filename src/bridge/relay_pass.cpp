// The relay phase: one pass serves the socket's outgoing bytes, a read from the broker, the
// port's input and what ordered delivery has due, then the loop sleeps until the broker, the
// port, a stop or a timer has something.
#include <poll.h>

#include <algorithm>
#include <climits>

#include "bridge/engine_run.h"
#include "common/deadline.h"

namespace norvex {

namespace {

// What the last wait saw.
struct Wakeup {
    bool socketReady = true;   // the first pass looks at everything that may already wait
    bool portReady = true;     // input on the port
    bool portAlert = false;    // hang-up or error on the port
    bool portWritable = true;  // room for the bytes the port holds back
};

// True when bytes have waited for the broker, with none taken, for kAnswerLimitMs: the
// connection is as good as lost.
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

Phase ConnectionLost(EngineRun& run, NetworkFault fault = NetworkFault::kConnectionLost) {
    CommitPortOut(run);  // a port failure shows at the next write
    EmitFault(run, fault);
    run.socket.Close();
    return Phase::kReconnect;
}

// A broker answers every PINGREQ and PUBLISH of ours.  One that has sent nothing for the answer
// limit since we asked is as good as gone: a path that died under us (a cellular NAT that forgot
// the connection) would otherwise keep TCP retrying for a quarter of an hour, and a broker that
// hangs with its socket open, for ever.
Phase CheckAnswered(EngineRun& run) {
    if (!run.answerOwed) return Phase::kNext;
    if (run.socket.ReceivedTotal() != run.receivedAtAsk) {
        run.answerOwed = false;
        return Phase::kNext;
    }
    if (TickSince(NowMs(run), run.askTick) < kAnswerLimitMs) return Phase::kNext;
    // an answer that came after this pass's wait is read by the next pass, not missed
    if (run.socket.WaitReadable(0)) return Phase::kNext;
    return ConnectionLost(run, NetworkFault::kBrokerSilent);
}

// Moves on what waits for the broker; a broker that has taken nothing of it for the answer
// limit is a lost connection.
Phase ServeOutgoing(EngineRun& run) {
    if (run.socket.PendingOut() > 0 && run.socket.SendPending() < 0) return ConnectionLost(run);
    if (OutgoingStalled(run)) return ConnectionLost(run);
    return Phase::kNext;
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
    if (run.answerOwed) t = std::min(t, TickMsLeft(now, run.askTick, kAnswerLimitMs));
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
        p = CheckAnswered(run);
        if (p != Phase::kNext) return p;
        if (!CommitPortOut(run)) break;
        SerialStep sv = ServeSerial(run, wake.portReady, wake.portAlert);
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
