#include <algorithm>

#include "bridge/panel_sink.h"
#include "bridge/panel_texts.h"
#include "bridge/relay_phases.h"
#include "bridge/relay_session.h"
#include "bridge/relay_wait.h"
#include "bridge/service_context.h"

namespace norvex {

namespace {

enum class Attempt { Connected, Failed, Stopped };

bool InTray(const RelayRun& run) { return run.ctx.inTray.load(std::memory_order_relaxed) != 0; }

// Connect result, with the same limit as the MQTT answers: a broker that swallows SYNs must not
// hold the loop for the kernel's two minutes.
Attempt AwaitConnect(RelayRun& run) {
    BrokerSocket& sock = run.s.workerSocket;
    if (sock.BeginConnect(run.ctx.brokerAddress, run.ctx.brokerPort) < 0) return Attempt::Failed;
    uint32_t start = NowMs(run);
    for (;;) {
        if (!StillRunning(run)) return Attempt::Stopped;
        uint32_t spent = TickSince(NowMs(run), start);
        if (spent > kAnswerLimitMs) return Attempt::Failed;
        int slice = static_cast<int>(std::min<uint32_t>(kAnswerLimitMs + 1 - spent, kIdleWakeMs));
        int r = sock.PollConnect(slice);
        if (r > 0) return Attempt::Connected;
        if (r < 0) return Attempt::Failed;
    }
}

Attempt TcpConnect(RelayRun& run) {
    run.ctx.connectDone.store(0, std::memory_order_relaxed);
    Attempt a = AwaitConnect(run);
    if (a == Attempt::Stopped) return a;
    run.ctx.connectOk.store(a == Attempt::Connected ? 1 : 0, std::memory_order_relaxed);
    run.ctx.connectDone.store(1, std::memory_order_release);
    return a;
}

void ShowConnected(RelayRun& run) {
    if (InTray(run) || run.ctx.dialog == nullptr) return;
    run.ctx.dialog->InvertStartButton();
    run.ctx.dialog->SetStartButton(kTextRunning, true);
}

// CONNECT and CONNACK on a fresh connection; false means: close and try again.
AckWait Login(RelayRun& run) {
    const RelayIdentity& id = run.ids;
    int32_t rc = mqtt::BuildConnect(&run.s.sharedOutChain, id.clientId.c_str(),
                                   id.userName.c_str(),
                                   reinterpret_cast<const uint8_t*>(id.password.data()),
                                   static_cast<uint16_t>(std::min<size_t>(id.password.size(), 65535)));
    if (rc != 0) {
        mqtt::ReleaseChain(&run.s.sharedOutChain);
        return AckWait::Failed;
    }
    run.s.connAckSeen = 0;
    if (!SendSharedChain(run)) return AckWait::Failed;
    return WaitForAck(run, &run.s.connAckSeen);
}

}  // namespace

Phase ConnectPhase(RelayRun& run) {
    for (;;) {
        if (!PauseUnlessStopped(run, kReconnectPauseMs)) return Phase::Stop;
        Attempt a = TcpConnect(run);
        if (a == Attempt::Stopped) {
            run.s.workerSocket.Close();
            return Phase::Stop;
        }
        if (a == Attempt::Failed) {
            run.s.workerSocket.Close();
            if (!InTray(run) && run.ctx.dialog) {
                run.ctx.dialog->ShowNotice(kCaptionWarning, kTextNetworkFault);
            }
            continue;
        }
        ShowConnected(run);
        // nothing of an earlier connection may be parsed as part of this one
        mqtt::ClearReceive(&run.s.mqtt);
        AckWait w = Login(run);
        if (w == AckWait::Seen) return Phase::Next;
        run.s.workerSocket.Close();
        if (w == AckWait::Stopped) return Phase::Stop;
    }
}

Phase SubscribePhase(RelayRun& run) {
    for (;;) {
        const char* filters[2] = {run.ids.statusTopic.c_str(), run.ids.dataTopic.c_str()};
        if (mqtt::BuildSubscribe(&run.s.sharedOutChain, filters) != 0) {
            // rebuilding at once would fail the same way for ever: start over after the pause
            mqtt::ReleaseChain(&run.s.sharedOutChain);
            run.s.workerSocket.Close();
            return Phase::Reconnect;
        }
        run.s.subAckSeen = 0;
        if (!SendSharedChain(run)) {
            run.s.workerSocket.Close();
            return Phase::Reconnect;
        }
        switch (WaitForAck(run, &run.s.subAckSeen)) {
            case AckWait::Seen:
                run.hostSequence = 0;
                run.s.subscribeCount.fetch_add(1, std::memory_order_release);
                return Phase::Next;
            case AckWait::TimedOut:
                continue;  // the broker is slow: ask again on the same connection
            case AckWait::Failed:
                // a broken or garbled connection answers no SUBSCRIBE: make a new one
                run.s.workerSocket.Close();
                return Phase::Reconnect;
            case AckWait::Stopped:
                return Phase::Stop;
        }
    }
}

}  // namespace norvex
