#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/mqtt_receive.h"
#include "mqtt/mqtt_send.h"
#include "mqtt/route_internal.h"

namespace mqtt {

using route::GetU16;

namespace route {

int32_t SendAck(Session* s, uint8_t byte0, uint16_t packetId, int32_t noChunkCode) {
    PacketChain chain{};
    int32_t r = BuildAck(&chain, byte0, packetId);
    if (r == 0) r = SendChain(s, &chain) == 4 ? 0 : kErrAckNotSent;
    else r = noChunkCode;
    ReleaseChain(&chain);
    return r;
}

}  // namespace route

namespace {

// Calls a handler slot; an empty slot counts as success.
template <typename Slot, typename... Args>
int32_t Call(const Slot& slot, Args... args) {
    return slot.fn ? slot.fn(slot.arg, args...) : 0;
}

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

// The five packets that carry only a non-zero packet id.  PUBREC and PUBREL are answered.
int32_t RouteIdOnly(Session* s, uint8_t type, const uint8_t* body, uint32_t length) {
    if (length != 2) return kErrMalformed;
    uint16_t id = GetU16(body);
    if (id == 0) return kErrMalformed;
    const Handlers& h = s->handlers;
    int32_t r = 0;
    switch (type) {
        case 4: return Call(h.OnPubAck, id);
        case 7: return Call(h.OnPubComp, id);
        case 11: return Call(h.OnUnsubAck, id);
        case 5:
            r = Call(h.OnPubRec, id);
            return r < 0 ? r : route::SendAck(s, kPubRel, id, kErrNoMemory);
        default:
            r = Call(h.OnPubRel, id);
            return r < 0 ? r : route::SendAck(s, kPubComp, id, kErrNoMemory);
    }
}

// The exact byte 0 of each accepted type other than PUBLISH; 0 for types never accepted.
uint8_t ExpectedByte0(uint8_t type) {
    switch (type) {
        case 2: return 0x20;
        case 4: return 0x40;
        case 5: return 0x50;
        case 6: return 0x62;
        case 7: return 0x70;
        case 9: return 0x90;
        case 11: return 0xB0;
        case 13: return 0xD0;
        default: return 0;
    }
}

}  // namespace

int32_t RouteIncoming(Session* s, uint8_t byte0, uint8_t* body, uint32_t remainingLength) {
    auto type = static_cast<uint8_t>(byte0 >> 4);
    if (type == 3) return route::RoutePublish(s, byte0, body, remainingLength);
    uint8_t expected = ExpectedByte0(type);
    if (expected == 0 || byte0 != expected) return kErrMalformed;
    switch (type) {
        case 2: return RouteConnAck(s, body, remainingLength);
        case 9: return RouteSubAck(s, body, remainingLength);
        case 13:
            return remainingLength == 0 ? Call(s->handlers.OnPingResp) : kErrMalformed;
        default: return RouteIdOnly(s, type, body, remainingLength);
    }
}

}  // namespace mqtt
