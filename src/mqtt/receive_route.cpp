// Dispatch of one incoming packet by its type, with the checks of every type but PUBLISH.
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
}  // namespace mqtt
