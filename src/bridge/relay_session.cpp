#include "bridge/relay_session.h"

#include "bridge/relay_handlers.h"

namespace norvex {

RelaySession::~RelaySession() {
    PacketChain_Release(&sharedOutChain);
    Mqtt_FreeSession(&mqtt);
}

bool SetupRelaySession(RelaySession& s) {
    Mqtt_FreeSession(&s.mqtt);
    MqttHandlers handlers = MakeRelayHandlers(&s.connAckSeen, &s.subAckSeen, &s.inboundQueue);
    return Mqtt_SetupSession(&s.mqtt, SocketReader, &s.workerSocket, SocketWriter,
                             &s.workerSocket, handlers) == 1;
}

}  // namespace norvex
