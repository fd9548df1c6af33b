#include <poll.h>

#include <algorithm>
#include <cstring>

#include "bridge/inbound_message.h"
#include "bridge/panel_sink.h"
#include "bridge/panel_texts.h"
#include "bridge/relay_phases.h"
#include "bridge/relay_session.h"
#include "bridge/relay_wait.h"
#include "bridge/serial_port.h"
#include "bridge/service_context.h"

namespace norvex {

namespace {

// Collects what the order queue releases and writes it to the port in one call: a burst of relay
// packets then costs one write, not one each.
class BatchedPortWriter final : public PortWriter {
public:
    BatchedPortWriter(SerialPort& port, std::vector<uint8_t>& out) : port_(port), out_(out) {}
    int WriteBytes(const uint8_t* data, size_t len) override {
        out_.insert(out_.end(), data, data + len);
        return static_cast<int>(len);
    }
    // False when the port failed.
    bool Commit() {
        if (out_.empty()) return true;
        bool ok = port_.Write(out_.data(), out_.size()) == static_cast<int>(out_.size());
        out_.clear();
        return ok;
    }

private:
    SerialPort& port_;
    std::vector<uint8_t>& out_;
};

enum class SerialStep { Idle, Published, Reconnect, Stop, PortFailed };

// What the last wait saw.
struct Wakeup {
    bool socketReady = true;  // the first pass looks whether the broker already sent something
    bool serialAlert = false;  // hang-up or error on the port
};

Phase Receive(RelayRun& run, bool ready) {
    if (!ready) return Phase::Next;
    // the acknowledgements of everything one read brought leave together
    run.s.workerSocket.SetCork(true);
    int32_t r = mqtt::ReceivePacket(&run.s.mqtt);
    run.s.workerSocket.SetCork(false);
    if (r == 0 || r == mqtt::kErrNoData) return Phase::Next;
    // a closed or failing connection, also one seen while acknowledging: reconnect
    if (r == mqtt::kErrReadFailed || r == mqtt::kErrAckNotSent) {
        if (run.ctx.dialog) run.ctx.dialog->ShowNotice(kCaptionWarning, kTextNetworkFault);
        run.s.workerSocket.Close();
        return Phase::Reconnect;
    }
    return Phase::Stop;
}

// Hands every queued message on.  Data is flushed message by message, so that a burst of a
// relay's packets in order never overruns its four slots.  Messages handled, or -1 when the
// port failed.
int DrainInbound(RelayRun& run, PortWriter& port) {
    InboundTargets t{&run.ids, &run.orders, &run.ctx.deviceTable, run.ctx.dialog,
                     &run.ctx.reportDevice};
    InboundQueue& q = run.s.inboundQueue;
    int handled = 0;
    while (!q.empty()) {
        uint32_t now = NowMs(run);
        InboundResult res = HandleInboundMessage(q.front(), t, now);
        q.pop_front();
        ++handled;
        if (res == InboundResult::Data && run.orders.Flush(now, port) < 0) return -1;
    }
    return handled;
}

// Appends the next host PUBLISH, carrying n serial bytes, to the shared chain.  False when it
// cannot be built: the run stops then.
bool AppendPublish(RelayRun& run, const uint8_t* data, size_t n) {
    uint16_t id = NextNonZero(run.s.publishPacketId.load(std::memory_order_relaxed));
    run.s.publishPacketId.store(id, std::memory_order_relaxed);
    run.s.lastPublishId.store(id, std::memory_order_relaxed);
    uint16_t seq = run.hostSequence;
    run.hostSequence = NextNonZero(run.hostSequence);
    uint8_t payload[kHostHeaderSize + kMaxHostData];
    int len = EncodeHostPayload(seq, data, n, payload, sizeof payload);
    return len >= 0 && mqtt::BuildPublish(&run.s.sharedOutChain, id, run.ids.hostTopic.c_str(),
                                         payload, static_cast<uint32_t>(len)) == 0;
}

// Takes the first n gathered bytes off the buffer into a PUBLISH on the shared chain.
bool AppendFront(RelayRun& run, size_t n) {
    bool ok = AppendPublish(run, run.gather, n);
    run.gathered -= n;
    std::memmove(run.gather, run.gather + n, run.gathered);
    return ok;
}

// Sends what the chain holds, one packet or a run of them, in one write; the next gather window
// is measured from now.
SerialStep SendPublished(RelayRun& run, bool built) {
    run.lastInputTick = NowMs(run);
    if (!built) {
        mqtt::ReleaseChain(&run.s.sharedOutChain);
        return SerialStep::Stop;
    }
    if (!SendSharedChain(run)) {
        run.s.workerSocket.Close();
        return SerialStep::Reconnect;
    }
    return SerialStep::Published;
}

// Every full 64-byte piece goes out now, back to back in one write.
SerialStep PublishFullPieces(RelayRun& run) {
    bool built = true;
    while (built && run.gathered >= kMaxHostData) built = AppendFront(run, kMaxHostData);
    return SendPublished(run, built);
}

// Moves what the port has into the gather buffer, as far as it has room.  -1: the port failed.
int TakeInput(RelayRun& run, int waiting) {
    size_t room = sizeof run.gather - run.gathered;
    if (waiting <= 0 || room == 0) return 0;
    int got = run.port.Read(run.gather + run.gathered, std::min(room, static_cast<size_t>(waiting)));
    if (got < 0) return -1;
    if (got > 0 && !run.gathering) {
        run.gathering = true;
        run.lastInputTick = NowMs(run);
    }
    run.gathered += static_cast<size_t>(got);
    return got;
}

// 64 bytes go out at once; fewer wait kGatherMs from the moment input was first seen after an
// empty queue (or from the last publish), in case more follow.  Only bytes really read are ever
// published.
SerialStep ServeSerial(RelayRun& run, bool alert) {
    int n = run.port.InputCount();
    if (n < 0 || TakeInput(run, n) < 0) return SerialStep::PortFailed;
    if (run.gathered >= kMaxHostData) return PublishFullPieces(run);
    if (run.gathered == 0) {
        run.gathering = false;
        run.lastInputTick = NowMs(run);
        // a hang-up with nothing waiting: a read tells whether the port is gone
        if (alert && n == 0 && TakeInput(run, static_cast<int>(kMaxHostData)) < 0) {
            return SerialStep::PortFailed;
        }
        return SerialStep::Idle;
    }
    // the port hung up behind the bytes it gave: send them before it is found dead
    if (alert || TickSince(NowMs(run), run.lastInputTick) >= kGatherMs) {
        return SendPublished(run, AppendFront(run, run.gathered));
    }
    return SerialStep::Idle;
}

// The broker drops a client that stays silent for 1.5 x the 120 s keep-alive.
Phase KeepAlive(RelayRun& run) {
    if (TickSince(NowMs(run), run.lastSendTick) < kKeepAliveMs) return Phase::Next;
    if (mqtt::BuildPingReq(&run.s.sharedOutChain) != 0) {
        mqtt::ReleaseChain(&run.s.sharedOutChain);
        return Phase::Next;
    }
    if (SendSharedChain(run)) return Phase::Next;
    run.s.workerSocket.Close();
    return Phase::Reconnect;
}

int IdleTimeout(const RelayRun& run) {
    uint32_t now = NowMs(run);
    uint32_t t = kIdleWakeMs;
    if (run.gathered > 0) {
        uint32_t open = TickSince(now, run.lastInputTick);
        t = std::min<uint32_t>(t, open >= kGatherMs ? 0 : kGatherMs - open);
    }
    uint32_t silent = TickSince(now, run.lastSendTick);
    t = std::min<uint32_t>(t, silent >= kKeepAliveMs ? 0 : kKeepAliveMs - silent);
    return static_cast<int>(t);
}

// Sleeps until the broker or the port has something, or the timeout passes.  Gathered bytes sit
// in our buffer, not in the port's queue, so the port wakes us only for new input.
Wakeup WaitForWork(const RelayRun& run, int timeoutMs) {
    pollfd fds[2] = {{run.s.workerSocket.Fd(), POLLIN, 0}, {run.port.Fd(), POLLIN, 0}};
    Wakeup w{false, false};
    if (::poll(fds, 2, timeoutMs) <= 0) return w;
    w.socketReady = fds[0].revents != 0;
    w.serialAlert = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return w;
}

}  // namespace

Phase RelayPhase(RelayRun& run) {
    run.portOut.clear();
    BatchedPortWriter writer(run.port, run.portOut);
    Wakeup wake;
    for (;;) {
        if (!StillRunning(run)) return Phase::Stop;
        Phase p = Receive(run, wake.socketReady);
        if (p != Phase::Next) return p;
        int handled = DrainInbound(run, writer);
        if (!writer.Commit()) handled = -1;
        SerialStep sv = handled < 0 ? SerialStep::PortFailed : ServeSerial(run, wake.serialAlert);
        if (sv == SerialStep::Reconnect) return Phase::Reconnect;
        if (sv == SerialStep::Stop) return Phase::Stop;
        int flushed = sv == SerialStep::PortFailed ? -1 : run.orders.Flush(NowMs(run), writer);
        if (!writer.Commit()) flushed = -1;
        if (flushed < 0) {
            run.portFailed = true;
            return Phase::Stop;
        }
        p = KeepAlive(run);
        if (p != Phase::Next) return p;
        bool worked = handled > 0 || sv == SerialStep::Published || flushed > 0;
        wake = WaitForWork(run, worked ? 0 : IdleTimeout(run));
    }
}

}  // namespace norvex
