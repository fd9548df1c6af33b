#include "bridge/relay_session.h"

#include "bridge/relay_handlers.h"

namespace norvex {

RelaySession::~RelaySession() {
    mqtt::ReleaseChain(&sharedOutChain);
    mqtt::FreeSession(&mqtt);
}

bool SetupRelaySession(RelaySession& s) {
    mqtt::FreeSession(&s.mqtt);
    mqtt::Handlers handlers = MakeRelayHandlers(&s.connAckSeen, &s.subAckSeen, &s.inboundQueue);
    return mqtt::SetupSession(&s.mqtt, SocketReader, &s.workerSocket, SocketWriter, &s.workerSocket,
                              handlers) == 0;
}

}  // namespace norvex
