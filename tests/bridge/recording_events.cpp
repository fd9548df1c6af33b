#include "recording_events.h"

namespace norvex::test {
namespace {

const char* StateName(EngineState s) {
    switch (s) {
        case EngineState::kOpeningPort:
            return "opening-port";
        case EngineState::kPortOpen:
            return "port-open";
        case EngineState::kConnecting:
            return "connecting";
        case EngineState::kConnected:
            return "connected";
        case EngineState::kLoggedIn:
            return "logged-in";
        case EngineState::kSubscribed:
            return "subscribed";
        case EngineState::kNetworkFault:
            return "fault";
        case EngineState::kStopped:
            return "stopped";
    }
    return "?";
}

const char* FaultName(NetworkFault f) {
    switch (f) {
        case NetworkFault::kNone:
            return "none";
        case NetworkFault::kConnectFailed:
            return "connect";
        case NetworkFault::kLoginFailed:
            return "login";
        case NetworkFault::kSubscribeFailed:
            return "subscribe";
        case NetworkFault::kConnectionLost:
            return "lost";
        case NetworkFault::kBrokerSilent:
            return "silent";
        case NetworkFault::kSendFailed:
            return "send";
        case NetworkFault::kLoginNotBuilt:
            return "login-not-built";
    }
    return "?";
}

const char* ReasonName(StopReason r) {
    switch (r) {
        case StopReason::kNone:
            return "none";
        case StopReason::kUserStop:
            return "user";
        case StopReason::kInvalidGroupId:
            return "invalid-group-id";
        case StopReason::kPortOpenFailed:
            return "port-open-failed";
        case StopReason::kPortFailed:
            return "port-failed";
        case StopReason::kMalformedPacket:
            return "malformed";
        case StopReason::kPublishNotBuilt:
            return "publish-not-built";
        case StopReason::kStartFailed:
            return "start-failed";
    }
    return "?";
}

}  // namespace

void RecordingEvents::OnState(const EngineStatus& s) {
    switch (s.state) {
        case EngineState::kLoggedIn:
            Add("logged-in|" + std::to_string(s.connAckCode));
            return;
        case EngineState::kNetworkFault:
            Add(std::string("fault|") + FaultName(s.fault) + "|" + std::to_string(s.connAckCode));
            return;
        case EngineState::kStopped:
            Add(std::string("stopped|") + ReasonName(s.stopReason));
            return;
        default:
            Add(std::string("state|") + StateName(s.state));
    }
}

}  // namespace norvex::test
