#pragma once
// Pieces of the receiver shared between its files; not part of the client's interface.
#include <cstdint>

#include "mqtt/mqtt_session.h"

namespace mqtt {

namespace route {

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Builds the 4-byte reply (byte0, 0x02, id) in a chain of its own, sends and releases it.
// Returns 0; noChunkCode when the chunk cannot be had; kErrAckNotSent when the writer did
// not take all 4 bytes.
int32_t SendAck(Session* s, uint8_t byte0, uint16_t packetId, int32_t noChunkCode);

int32_t RoutePublish(Session* s, uint8_t byte0, uint8_t* body, uint32_t length);

}  // namespace route

}  // namespace mqtt
