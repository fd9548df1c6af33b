// The receiving side: reads the broker's stream, splits it into packets, checks each one,
// hands it to its handler and sends the acknowledgements the protocol asks for.
#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/mqtt_receive.h"
#include "mqtt/packet_type.h"
#include "mqtt/utf8_check.h"

namespace mqtt {

namespace {

uint16_t GetU16(const uint8_t* p) {
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
int32_t SendAck(Session* s, uint8_t byte0, uint16_t packetId) {
    const uint8_t reply[4] = {byte0, 0x02, static_cast<uint8_t>(packetId >> 8),
                              static_cast<uint8_t>(packetId)};
    const IoVec pair{reply, sizeof reply};
    return s->writer(s->writerArg, &pair, 1) == 4 ? 0 : kErrAckNotSent;
}

// --- PUBLISH ---------------------------------------------------------------------------------

constexpr uint8_t kDupBit = 0x08;
constexpr char kCommandPrefix[] = "$creq";
constexpr uint32_t kCommandPrefixLength = 5;

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

// Hands the message to OnCommand ("$creq..."), to nobody (other "$" topics) or to OnPublish.
int32_t Deliver(Session* s, const PublishView& v, const char* topic) {
    const Handlers& h = s->handlers;
    if (std::strncmp(topic, kCommandPrefix, kCommandPrefixLength) == 0) {
        if (h.OnCommand.fn == nullptr) return 0;
        // the command id follows "$creq/"; a bare "$creq" gives an empty one
        const char* cmduuid = topic + (v.topicLength > kCommandPrefixLength ? 6 : 5);
        return h.OnCommand.fn(h.OnCommand.arg, v.packetId, cmduuid, 0, 0, "", v.payload,
                              v.payloadLength, v.dup, v.qos);
    }
    if (topic[0] == '$' || h.OnPublish.fn == nullptr) return 0;
    return h.OnPublish.fn(h.OnPublish.arg, v.packetId, topic, v.payload, v.payloadLength, v.dup,
                          v.qos);
}

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

// --- the other packets -----------------------------------------------------------------------

int32_t RouteConnAck(Session* s, const uint8_t* body, uint32_t length) {
    if (length != 2) return kErrMalformed;
    uint8_t flags = body[0], code = body[1];
    bool sessionPresent = (flags & 0x01) != 0;
    if ((sessionPresent && code != 0) || code > 5) return kErrMalformed;
    return Call(s->handlers.OnConnAck, flags, code);
}

int32_t RouteSubAck(Session* s, const uint8_t* body, uint32_t length) {
    if (length < 2) return kErrMalformed;
    uint16_t id = GetU16(body);
    if (id == 0) return kErrMalformed;
    // 0x00-0x03 granted QoS, 0x80-0x83 failure; anything with bits 0x7C set is not a code
    for (uint32_t i = 2; i < length; ++i) {
        if ((body[i] & 0x7C) != 0) return kErrMalformed;
    }
    return Call(s->handlers.OnSubAck, id, body + 2, length - 2);
}

// The packet id of a packet that carries nothing else (1..65535), or kErrMalformed.
int32_t IdOnly(const uint8_t* body, uint32_t length) {
    if (length != 2) return kErrMalformed;
    uint16_t id = GetU16(body);
    return id == 0 ? kErrMalformed : id;
}

template <typename Slot>
int32_t RouteId(const Slot& slot, const uint8_t* body, uint32_t length) {
    int32_t id = IdOnly(body, length);
    return id < 0 ? id : Call(slot, static_cast<uint16_t>(id));
}

// PUBREC and PUBREL: the handler first, then the reply that carries the flow on.
template <typename Slot>
int32_t RouteIdAndAnswer(Session* s, const Slot& slot, const uint8_t* body, uint32_t length,
                         uint8_t replyByte0) {
    int32_t id = IdOnly(body, length);
    if (id < 0) return id;
    int32_t r = Call(slot, static_cast<uint16_t>(id));
    return r < 0 ? r : SendAck(s, replyByte0, static_cast<uint16_t>(id));
}

// The flag bits MQTT 3.1.1 fixes for every type other than PUBLISH.
constexpr uint8_t RequiredFlags(PacketType type) {
    switch (type) {
        case PacketType::PubRel:
        case PacketType::Subscribe:
        case PacketType::Unsubscribe:
            return 0x02;
        default:
            return 0x00;
    }
}

// --- the stream ------------------------------------------------------------------------------

constexpr int32_t kMaxLengthBytes = 3;  // remaining lengths up to 2,097,151

// Decodes the remaining length that starts at p (the byte after byte 0).  Returns the number of
// length bytes, 0 when the buffered bytes end before the last one, or kErrMalformed when a
// third length byte still announces a fourth.
int32_t DecodeRemainingLength(const uint8_t* p, const uint8_t* end, uint32_t* value) {
    uint32_t v = 0;
    for (int32_t k = 0; k < kMaxLengthBytes; ++k) {
        if (p + k >= end) return 0;
        v |= static_cast<uint32_t>(p[k] & 0x7F) << (7 * k);
        if ((p[k] & 0x80) == 0) {
            *value = v;
            return k + 1;
        }
    }
    return kErrMalformed;
}

// Throws away the newly read bytes that still belong to an oversized packet.  While one is being
// skipped the buffer held nothing else before the read.
void SkipOversized(Session* s) {
    auto held = static_cast<uint32_t>(s->fillPosition - s->bufferStart);
    uint32_t k = held < s->skipLeft ? held : s->skipLeft;
    std::memmove(s->bufferStart, s->bufferStart + k, held - k);
    s->fillPosition -= k;
    s->skipLeft -= k;
}

// Reads once into the free space; 0 or a reading error code.
int32_t ReadMore(Session* s) {
    auto capacity = static_cast<int32_t>(s->bufferEnd - s->fillPosition);
    int32_t n = s->reader(s->readerArg, s->fillPosition, capacity);
    // Nothing yet on a non-blocking socket: an incomplete packet stays for the next call
    if (n == 0) return kErrNoData;
    if (n < 0) return kErrReadFailed;
    // The reader broke its contract; its count is not believed and the buffer stays as it was
    if (n > capacity) return kErrOverflow;
    s->fillPosition += n;
    if (s->skipLeft != 0) SkipOversized(s);
    return 0;
}

// Handles every complete packet from bufferStart on; *consumed is where the unhandled bytes begin.
int32_t HandleBuffered(Session* s, uint8_t** consumed) {
    uint8_t* p = s->bufferStart;
    uint8_t* fill = s->fillPosition;
    while (fill - p >= 2) {
        uint32_t length = 0;
        int32_t lengthBytes = DecodeRemainingLength(p + 1, fill, &length);
        if (lengthBytes < 0) return lengthBytes;
        if (lengthBytes == 0) break;
        uint64_t size = 1u + static_cast<uint32_t>(lengthBytes) + uint64_t{length};
        auto held = static_cast<uint64_t>(fill - p);
        if (size > kReceiveBufferSize) {
            // It can never be whole in the buffer: drop what came and skip the rest as it arrives
            s->skipLeft = static_cast<uint32_t>(size - held);
            p = fill;
            break;
        }
        if (size > held) break;
        int32_t r = RouteIncoming(s, p[0], p + 1 + lengthBytes, length);
        if (r < 0) return r;
        p += size;
    }
    *consumed = p;
    return 0;
}

}  // namespace

int32_t RouteIncoming(Session* s, uint8_t byte0, uint8_t* body, uint32_t remainingLength) {
    const PacketType type = TypeOf(byte0);
    if (type != PacketType::Publish && byte0 != Byte0(type, RequiredFlags(type))) {
        return kErrMalformed;
    }
    const Handlers& h = s->handlers;
    switch (type) {
        case PacketType::ConnAck:
            return RouteConnAck(s, body, remainingLength);
        case PacketType::Publish:
            return RoutePublish(s, byte0, body, remainingLength);
        case PacketType::PubAck:
            return RouteId(h.OnPubAck, body, remainingLength);
        case PacketType::PubRec:
            return RouteIdAndAnswer(s, h.OnPubRec, body, remainingLength, kPubRel);
        case PacketType::PubRel:
            return RouteIdAndAnswer(s, h.OnPubRel, body, remainingLength, kPubComp);
        case PacketType::PubComp:
            return RouteId(h.OnPubComp, body, remainingLength);
        case PacketType::SubAck:
            return RouteSubAck(s, body, remainingLength);
        case PacketType::UnsubAck:
            return RouteId(h.OnUnsubAck, body, remainingLength);
        case PacketType::PingResp:
            return remainingLength == 0 ? Call(h.OnPingResp) : kErrMalformed;
        default:
            // a client is never sent CONNECT, SUBSCRIBE, UNSUBSCRIBE, PINGREQ, DISCONNECT or
            // the reserved types 0 and 15
            return kErrMalformed;
    }
}

int32_t ReceivePacket(Session* s) {
    if (s->bufferStart == nullptr) return kErrBadParameter;
    int32_t r = ReadMore(s);
    if (r < 0) return r;
    uint8_t* consumed = s->bufferStart;
    r = HandleBuffered(s, &consumed);
    // On failure nothing of this call is consumed: the next call parses the same bytes again
    if (r < 0) return r;
    auto kept = static_cast<size_t>(s->fillPosition - consumed);
    if (consumed != s->bufferStart) std::memmove(s->bufferStart, consumed, kept);
    s->fillPosition = s->bufferStart + kept;
    return 0;
}

}  // namespace mqtt
