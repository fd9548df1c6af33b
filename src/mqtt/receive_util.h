#pragma once
// Helpers shared by the receiving side's files; not part of the client's interface.
#include <cstdint>

#include "mqtt/mqtt_session.h"

namespace mqtt {

namespace recv {

inline uint16_t GetU16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Calls a handler slot; an empty slot counts as success.
template <typename Slot, typename... Args>
int32_t Call(const Slot& slot, Args... args) {
    return slot.fn ? slot.fn(slot.arg, args...) : 0;
}

// Sends the 4-byte reply (byte0, 0x02, id) straight from the stack: an acknowledgement needs no
// chain, and answering a QoS 1 or 2 message then allocates nothing.  Returns 0, or
// kErrAckNotSent when the writer did not take all 4 bytes.
int32_t SendAck(Session* s, uint8_t byte0, uint16_t packetId);

// Checks a PUBLISH, makes its topic a text in place, hands it to its handler and acknowledges
// QoS 1 and 2.
int32_t RoutePublish(Session* s, uint8_t byte0, uint8_t* body, uint32_t length);

}  // namespace recv

}  // namespace mqtt
