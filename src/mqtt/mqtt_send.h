#pragma once
#include <cstdint>

#include "mqtt/mqtt_session.h"
#include "mqtt/packet_chain.h"

namespace mqtt {

// Hands every linked chunk of `chain`, head to tail, to the session's writer in one gather call.
// Returns 0 without calling the writer when the chain holds no packet, kErrNoMemory when a long
// chain's gather list cannot be allocated, otherwise the writer's result unchanged.  The chain is
// left as it was; releasing it is the caller's task.  Short chains are gathered on the stack,
// long ones in the session's list, so that no send allocates once that list has grown.
int32_t SendChain(Session* s, const PacketChain* chain);

}  // namespace mqtt
