// The receiving side: the stream reads the broker's bytes into the session's buffer, cuts out
// every complete packet and keeps an incomplete one for the next call; each packet is
// dispatched by its type, with the checks of every type but PUBLISH (receive_publish.cpp).
#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/mqtt_receive.h"
#include "mqtt/packet_type.h"
#include "mqtt/receive_util.h"

namespace mqtt {

namespace recv {

int32_t SendAck(Session* s, uint8_t byte0, uint16_t packetId) {
    const uint8_t reply[4] = {byte0, 0x02, static_cast<uint8_t>(packetId >> 8),
                              static_cast<uint8_t>(packetId)};
    const IoVec pair{reply, sizeof reply};
    return s->writer(s->writerArg, &pair, 1) == 4 ? 0 : kErrAckNotSent;
}

}  // namespace recv

namespace {

using namespace recv;

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

namespace {

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
