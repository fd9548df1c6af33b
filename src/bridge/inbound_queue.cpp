#include "bridge/inbound_queue.h"

#include <climits>
#include <new>

namespace norvex {

int32_t InboundQueue_Append(InboundQueue& queue, uint16_t packetId, const char* topic,
                            const uint8_t* payload, uint32_t length) {
    if (topic == nullptr || (payload == nullptr && length != 0) || length > INT32_MAX) return -1;
    try {
        ReceivedMessage msg;
        msg.packetId = packetId;
        msg.topic = topic;
        msg.payload.assign(payload, payload + length);
        msg.payloadLength = static_cast<int32_t>(length);
        queue.push_back(std::move(msg));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

void InboundQueue_Clear(InboundQueue& queue) { InboundQueue().swap(queue); }

}  // namespace norvex
