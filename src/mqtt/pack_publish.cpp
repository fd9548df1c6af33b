#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"
#include "mqtt/utf8_check.h"

namespace mqtt {

using namespace pack;

namespace {

constexpr uint8_t kPublishQos1 = Byte0(PacketType::Publish, 0x02);  // QoS 1, DUP 0, RETAIN 0

// Length of a topic name, or the code that refuses it.  Wildcards belong to filters only.
int32_t TopicLength(const char* topic) {
    if (topic == nullptr) return kErrBadParameter;
    int32_t n = TextLength(topic);
    if (n < 0) return n;
    if (std::memchr(topic, '#', n) != nullptr || std::memchr(topic, '+', n) != nullptr) {
        return kErrBadParameter;
    }
    return Utf8CheckedLength(topic, n) == n ? n : kErrNotUtf8;
}

}  // namespace

int32_t BuildPublish(PacketChain* chain, uint16_t packetId, const char* topic,
                     const uint8_t* payload, uint32_t length) {
    if (packetId == 0) return kErrBadParameter;
    int32_t topicLength = TopicLength(topic);
    if (topicLength < 0) return topicLength;
    if (payload == nullptr && length != 0) return kErrBadParameter;

    PacketChunk* fixed = CarveFixedHeader(chain);
    if (fixed == nullptr) return kErrNoMemory;
    int32_t r = FillFixedHeader(fixed, kPublishQos1, 4ull + topicLength + length);
    if (r < 0) return r;
    PacketChunk* variable = NewChunk(chain, 4u + topicLength);
    if (variable == nullptr) return kErrNoMemory;
    PacketChunk* body = nullptr;
    if (length != 0) {
        body = NewChunk(chain, length);
        if (body == nullptr) return kErrNoMemory;
        std::memcpy(body->data, payload, length);
    }
    PutU16(PutText(variable->data, topic, static_cast<uint32_t>(topicLength)), packetId);
    AppendChunk(chain, fixed);
    AppendChunk(chain, variable);
    if (body != nullptr) AppendChunk(chain, body);
    return 0;
}

}  // namespace mqtt
