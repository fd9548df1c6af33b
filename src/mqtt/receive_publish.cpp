// PUBLISH from the broker: its checks, the topic terminated in place, routing by topic and the
// acknowledgement of QoS 1 and 2.
#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/receive_util.h"
#include "mqtt/utf8_check.h"

namespace mqtt {

namespace recv {

namespace {

constexpr uint8_t kDupBit = 0x08;

// Where a PUBLISH's parts lie inside its body.
struct PublishView {
    uint32_t topicLength;
    uint16_t packetId;  // 0 for QoS 0
    int32_t qos;
    int32_t dup;  // 0 or 8
    uint8_t* payload;
    uint32_t payloadLength;
};

int32_t Parse(uint8_t byte0, uint8_t* body, uint32_t length, PublishView* v) {
    // RETAIN (bit 0) is accepted: a broker sets it on retained messages it hands to a new
    // subscriber
    if (length < 2) return kErrMalformed;
    v->topicLength = GetU16(body);
    if (length < v->topicLength + 2u) return kErrMalformed;
    v->qos = (byte0 >> 1) & 0x03;
    v->dup = byte0 & kDupBit;
    if (v->qos == 3) return kErrMalformed;
    uint32_t headerLength = v->topicLength + 2u;
    if (v->qos == 0) {
        if (v->dup != 0) return kErrMalformed;
        v->packetId = 0;
    } else {
        if (length < v->topicLength + 4u) return kErrMalformed;
        v->packetId = GetU16(body + headerLength);
        if (v->packetId == 0) return kErrMalformed;
        headerLength += 2;
    }
    v->payload = body + headerLength;
    v->payloadLength = length - headerLength;
    return 0;
}

// Makes the topic a NUL-terminated text in place and puts the received bytes back when it goes
// out of scope, so that a call that fails and is parsed again sees the packet as it came.
// QoS 0: the topic moves two bytes down over its length field, keeping the terminator off the
// payload.  QoS 1 and 2: the terminator takes the first byte of the already-read packet id.
class TerminatedTopic {
public:
    TerminatedTopic(uint8_t* body, uint32_t topicLength, bool qos0)
        : body_(body), length_(topicLength), qos0_(qos0) {
        if (qos0_) {
            saved_[0] = body_[0];
            saved_[1] = body_[1];
            std::memmove(body_, body_ + 2, length_);
            body_[length_] = 0;
        } else {
            saved_[0] = body_[2 + length_];
            body_[2 + length_] = 0;
        }
    }
    ~TerminatedTopic() {
        if (qos0_) {
            std::memmove(body_ + 2, body_, length_);
            body_[0] = saved_[0];
            body_[1] = saved_[1];
        } else {
            body_[2 + length_] = saved_[0];
        }
    }
    TerminatedTopic(const TerminatedTopic&) = delete;
    TerminatedTopic& operator=(const TerminatedTopic&) = delete;

    const char* Text() const { return reinterpret_cast<const char*>(qos0_ ? body_ : body_ + 2); }

private:
    uint8_t* body_;
    uint32_t length_;
    bool qos0_;
    uint8_t saved_[2] = {0, 0};
};

bool TopicAcceptable(const char* topic, uint32_t length) {
    auto n = static_cast<int32_t>(length);
    if (Utf8CheckedLength(topic, n) != n) return false;
    return std::memchr(topic, '+', length) == nullptr && std::memchr(topic, '#', length) == nullptr;
}

// Hands the message to OnPublish; "$" topics (the broker's own, platform commands) go to nobody
// but are still acknowledged.
int32_t Deliver(Session* s, const PublishView& v, const char* topic) {
    const Handlers& h = s->handlers;
    if (topic[0] == '$' || h.OnPublish.fn == nullptr) return 0;
    return h.OnPublish.fn(h.OnPublish.arg, v.packetId, topic, v.payload, v.payloadLength, v.dup,
                          v.qos);
}

}  // namespace

int32_t RoutePublish(Session* s, uint8_t byte0, uint8_t* body, uint32_t length) {
    PublishView v{};
    int32_t r = Parse(byte0, body, length, &v);
    if (r < 0) return r;
    {
        TerminatedTopic topic(body, v.topicLength, v.qos == 0);
        if (!TopicAcceptable(topic.Text(), v.topicLength)) return kErrMalformed;
        r = Deliver(s, v, topic.Text());
    }
    if (r < 0 || v.qos == 0) return r;
    return SendAck(s, v.qos == 1 ? kPubAck : kPubRec, v.packetId);
}

}  // namespace recv

}  // namespace mqtt
