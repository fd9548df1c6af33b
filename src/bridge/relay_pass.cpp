#include <poll.h>

#include <algorithm>

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

class SerialWriter final : public PortWriter {
public:
    explicit SerialWriter(SerialPort& port) : port_(port) {}
    int WriteBytes(const uint8_t* data, size_t len) override { return port_.Write(data, len); }

private:
    SerialPort& port_;
};

enum class SerialStep { Idle, Published, Reconnect, Stop, PortFailed };

// What the last wait saw.
struct Wakeup {
    bool socketReady = true;  // the first pass looks whether the broker already sent something
    bool serialAlert = false;  // hang-up or error on the port
};

Phase Receive(RelayRun& run, bool ready) {
    if (!ready) return Phase::Next;
    int32_t r = Mqtt_RecvPkt(&run.s.mqtt);
    if (r == 0 || r == MqttErr_NoData) return Phase::Next;
    // a closed or failing connection, also one seen while acknowledging: reconnect
    if (r == MqttErr_ReadFailed || r == MqttErr_AckNotSent) {
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
        if (res == InboundResult::Data && OrderQueue_Flush(run.orders, now, port) < 0) return -1;
    }
    return handled;
}

SerialStep Publish(RelayRun& run, const uint8_t* data, size_t n) {
    uint16_t id = NextNonZero(run.s.publishPacketId.load(std::memory_order_relaxed));
    run.s.publishPacketId.store(id, std::memory_order_relaxed);
    run.s.lastPublishId.store(id, std::memory_order_relaxed);
    uint16_t seq = run.hostSequence;
    run.hostSequence = NextNonZero(run.hostSequence);
    uint8_t payload[kHostHeaderSize + kMaxHostData];
    int len = EncodeHostPayload(seq, data, n, payload, sizeof payload);
    if (len < 0 || Mqtt_BuildPublish(&run.s.sharedOutChain, id, run.ids.hostTopic.c_str(), payload,
                                     static_cast<uint32_t>(len)) != 0) {
        PacketChain_Release(&run.s.sharedOutChain);
        return SerialStep::Stop;
    }
    if (!SendSharedChain(run)) {
        run.s.workerSocket.Close();
        return SerialStep::Reconnect;
    }
    return SerialStep::Published;
}

SerialStep ReadAndPublish(RelayRun& run, size_t want) {
    uint8_t buf[kMaxHostData];
    int got = run.port.Read(buf, std::min(want, sizeof buf));
    run.lastInputTick = NowMs(run);
    if (got < 0) return SerialStep::PortFailed;
    if (got == 0) return SerialStep::Idle;  // only what was really read is ever published
    return Publish(run, buf, static_cast<size_t>(got));
}

// A hang-up with nothing waiting: a read tells whether the port is gone.
SerialStep ProbeDeadPort(RelayRun& run) {
    uint8_t buf[kMaxHostData];
    int got = run.port.Read(buf, sizeof buf);
    if (got <= 0) return SerialStep::PortFailed;
    run.lastInputTick = NowMs(run);
    return Publish(run, buf, static_cast<size_t>(got));
}

// Up to 64 waiting bytes go out at once; fewer wait kGatherMs from the moment they were first
// seen (or from the last read), in case more follow.
SerialStep ServeSerial(RelayRun& run, bool alert) {
    int n = run.port.InputCount();
    if (n < 0) return SerialStep::PortFailed;
    uint32_t now = NowMs(run);
    if (n == 0) {
        if (alert) return ProbeDeadPort(run);
        run.gathering = false;
        run.lastInputTick = now;
        return SerialStep::Idle;
    }
    if (!run.gathering) {
        run.gathering = true;
        run.lastInputTick = now;
    }
    if (static_cast<size_t>(n) < kMaxHostData && TickSince(now, run.lastInputTick) < kGatherMs) {
        return SerialStep::Idle;
    }
    return ReadAndPublish(run, static_cast<size_t>(n));
}

// The broker drops a client that stays silent for 1.5 x the 120 s keep-alive.
Phase KeepAlive(RelayRun& run) {
    if (TickSince(NowMs(run), run.lastSendTick) < kKeepAliveMs) return Phase::Next;
    if (Mqtt_BuildPingReq(&run.s.sharedOutChain) != 0) {
        PacketChain_Release(&run.s.sharedOutChain);
        return Phase::Next;
    }
    if (SendSharedChain(run)) return Phase::Next;
    run.s.workerSocket.Close();
    return Phase::Reconnect;
}

int IdleTimeout(const RelayRun& run) {
    uint32_t now = NowMs(run);
    uint32_t t = kIdleWakeMs;
    if (run.gathering) t = std::min<uint32_t>(t, kGatherCheckMs);
    uint32_t silent = TickSince(now, run.lastSendTick);
    t = std::min<uint32_t>(t, silent >= kKeepAliveMs ? 0 : kKeepAliveMs - silent);
    return static_cast<int>(t);
}

// Sleeps until the broker or the port has something, or the timeout passes.  While a burst is
// gathering the port is left out: it would report the waiting bytes at once, again and again.
Wakeup WaitForWork(const RelayRun& run, int timeoutMs) {
    pollfd fds[2] = {{run.s.workerSocket.Fd(), POLLIN, 0}, {run.port.Fd(), POLLIN, 0}};
    nfds_t count = run.gathering ? 1 : 2;
    Wakeup w{false, false};
    if (::poll(fds, count, timeoutMs) <= 0) return w;
    w.socketReady = fds[0].revents != 0;
    w.serialAlert = count == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return w;
}

}  // namespace

Phase RelayPhase(RelayRun& run) {
    SerialWriter writer(run.port);
    Wakeup wake;
    for (;;) {
        if (!StillRunning(run)) return Phase::Stop;
        Phase p = Receive(run, wake.socketReady);
        if (p != Phase::Next) return p;
        int handled = DrainInbound(run, writer);
        SerialStep sv = handled < 0 ? SerialStep::PortFailed : ServeSerial(run, wake.serialAlert);
        if (sv == SerialStep::Reconnect) return Phase::Reconnect;
        if (sv == SerialStep::Stop) return Phase::Stop;
        int flushed = sv == SerialStep::PortFailed ? -1 : OrderQueue_Flush(run.orders, NowMs(run), writer);
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
