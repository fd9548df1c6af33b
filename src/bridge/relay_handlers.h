#pragma once
#include <cstdint>

#include "bridge/inbound_queue.h"
#include "mqtt/mqtt_handlers.h"

namespace norvex {

// The handlers the relay installs in the MQTT session.  CONNACK and SUBACK raise their flag
// whatever the codes say (a refused login still goes on to SUBSCRIBE and lets the broker decide);
// PUBLISH copies the message into `inbound` (-1 when memory runs out); the rest do nothing.
mqtt::Handlers MakeRelayHandlers(int32_t* connAckSeen, int32_t* subAckSeen, InboundQueue* inbound);

}  // namespace norvex
