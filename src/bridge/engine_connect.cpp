#include <poll.h>

#include <algorithm>

#include "bridge/engine_run.h"
#include "common/deadline.h"

namespace norvex {

namespace {

enum class Attempt { kConnected, kFailed, kStopped };
enum class AckWait { kSeen, kFailed, kTimedOut, kStopped, kNotBuilt };

// Connect result, with the same limit as the MQTT answers: a broker that swallows SYNs must not
// hold the loop for the kernel's two minutes.
Attempt TcpConnect(EngineRun& run) {
    BrokerSocket& sock = run.socket;
    if (sock.BeginConnect(run.config.brokerHost, run.config.brokerPort) < 0) {
        return Attempt::kFailed;
    }
    const uint32_t start = NowMs(run);
    for (;;) {
        int r = sock.PollConnect(0);
        if (r > 0) return Attempt::kConnected;
        if (r < 0) return Attempt::kFailed;
        if (Stopping(run)) return Attempt::kStopped;
        // the answer limit itself is still waited out in full
        const uint32_t left = TickMsLeft(NowMs(run), start, kAnswerLimitMs + 1);
        if (left == 0) return Attempt::kFailed;
        pollfd fds[4] = {{sock.Fd(), sock.ConnectEvents(), 0}, {run.wake.Fd(), POLLIN, 0}};
        WatchPortWhileDown(run, fds + 2);
        ::poll(fds, 4, static_cast<int>(left));
        ServePortWhileDown(run, fds + 2);
    }
}

// Receives until *seen is raised by a handler, for at most kAnswerLimitMs, sending meanwhile
// what waits for the broker.  kFailed: a closed connection or any receive result other than 0
// and kErrNoData.
AckWait WaitForAck(EngineRun& run, const bool* seen) {
    const uint32_t start = NowMs(run);
    while (!*seen) {
        if (Stopping(run)) return AckWait::kStopped;
        const uint32_t left = TickMsLeft(NowMs(run), start, kAnswerLimitMs + 1);
        if (left == 0) return AckWait::kTimedOut;
        if (run.socket.PendingOut() > 0 && run.socket.SendPending() < 0) return AckWait::kFailed;
        // bytes already decrypted are not announced by poll()
        if (!run.socket.HasPendingInput()) {
            short events = run.socket.PendingOut() > 0 ? POLLIN | POLLOUT : POLLIN;
            pollfd fds[4] = {{run.socket.Fd(), events, 0}, {run.wake.Fd(), POLLIN, 0}};
            WatchPortWhileDown(run, fds + 2);
            int ready = ::poll(fds, 4, static_cast<int>(left));
            ServePortWhileDown(run, fds + 2);
            if (ready <= 0) continue;
            if ((fds[0].revents & ~POLLOUT) == 0) continue;
        }
        int32_t r = ReceiveFromBroker(run);
        if (r != 0 && r != mqtt::kErrNoData) return AckWait::kFailed;
    }
    return AckWait::kSeen;
}

// Why BuildConnect refused the run's identity.  The client ID was checked when the run began,
// and the password may hold any bytes: what is left is the user name, the product ID.
std::string ConnectNotBuiltText(int32_t code) {
    if (code == mqtt::kErrNotUtf8) return "the MQTT user name (product ID) is not valid UTF-8";
    return CodecFailureText(code);
}

// CONNECT on a fresh connection, then the CONNACK.
AckWait Login(EngineRun& run) {
    const RelayIdentity& id = run.ids;
    auto pwLength = static_cast<uint16_t>(std::min<size_t>(id.password.size(), 65535));
    int32_t rc = mqtt::BuildConnect(&run.out, id.clientId.c_str(), id.userName.c_str(),
                                    reinterpret_cast<const uint8_t*>(id.password.data()), pwLength);
    if (rc != 0) {
        mqtt::ReleaseChain(&run.out);
        Emit(run, {.state = EngineState::kNetworkFault,
                   .fault = NetworkFault::kLoginNotBuilt,
                   .detail = ConnectNotBuiltText(rc)});
        return AckWait::kNotBuilt;
    }
    run.connAckSeen = false;
    run.answerOwed = false;
    run.connAckCode = -1;
    if (!SendOut(run)) return AckWait::kFailed;
    return WaitForAck(run, &run.connAckSeen);
}

Phase Stop(EngineRun& run) {
    run.socket.Close();
    return Phase::kStop;
}

}  // namespace

Phase ConnectPhase(EngineRun& run) {
    for (;;) {
        if (!Pause(run, kReconnectPauseMs)) return Stop(run);
        Emit(run, {.state = EngineState::kConnecting});
        run.connAckCode = -1;
        Attempt a = TcpConnect(run);
        if (a == Attempt::kStopped) return Stop(run);
        if (a == Attempt::kFailed) {
            EmitFault(run, NetworkFault::kConnectFailed);
            run.socket.Close();
            continue;
        }
        Emit(run, {.state = EngineState::kConnected});
        // nothing of an earlier connection may be parsed as part of this one
        mqtt::ClearReceive(&run.mqtt);
        AckWait w = Login(run);
        if (w == AckWait::kSeen) {
            // a refusal still goes on to SUBSCRIBE: the broker decides what follows
            Emit(run, {.state = EngineState::kLoggedIn, .connAckCode = run.connAckCode});
            return Phase::kNext;
        }
        if (w == AckWait::kStopped) return Stop(run);
        if (w != AckWait::kNotBuilt) EmitFault(run, NetworkFault::kLoginFailed);
        run.socket.Close();
    }
}

Phase SubscribePhase(EngineRun& run) {
    for (;;) {
        const char* filters[2] = {run.ids.statusTopic.c_str(), run.ids.dataTopic.c_str()};
        if (mqtt::BuildSubscribe(&run.out, filters) != 0) {
            // rebuilding at once would fail the same way for ever: start over after the pause
            mqtt::ReleaseChain(&run.out);
            run.socket.Close();
            return Phase::kReconnect;
        }
        run.subAckSeen = false;
        if (!SendOut(run)) {
            EmitFault(run, NetworkFault::kSendFailed);
            run.socket.Close();
            return Phase::kReconnect;
        }
        switch (WaitForAck(run, &run.subAckSeen)) {
            case AckWait::kSeen:
                run.hostSequence = 0;
                Emit(run, {.state = EngineState::kSubscribed});
                return Phase::kNext;
            case AckWait::kTimedOut:
                continue;  // the broker is slow: ask again on the same connection
            case AckWait::kFailed:
            case AckWait::kNotBuilt:  // (only Login says this)
                // a broken or garbled connection answers no SUBSCRIBE: make a new one
                EmitFault(run, NetworkFault::kSubscribeFailed);
                run.socket.Close();
                return Phase::kReconnect;
            case AckWait::kStopped:
                return Stop(run);
        }
    }
}

}  // namespace norvex
