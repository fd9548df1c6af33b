#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace norvex {

// A received PUBLISH waiting for the relay pass: owned copies of topic and payload, since the
// session's receive buffer is reused by the next packet.
struct ReceivedMessage {
    uint16_t packetId = 0;  // 0 for QoS 0; kept, not used
    std::string topic;
    std::vector<uint8_t> payload;
    int32_t payloadLength = 0;
};

// First in, first out; worker thread only (the PUBLISH handler appends, the relay pass takes).
using InboundQueue = std::deque<ReceivedMessage>;

// Appends copies of one message.  0, or -1 when memory runs out (nothing is appended then).
int32_t InboundQueue_Append(InboundQueue& queue, uint16_t packetId, const char* topic,
                            const uint8_t* payload, uint32_t length);

// Drops every message and gives the storage back.
void InboundQueue_Clear(InboundQueue& queue);

}  // namespace norvex
