#pragma once
#include <cstdint>

namespace mqtt {

// MQTT 3.1.1 control packet types: the high four bits of byte 0.
enum class PacketType : uint8_t {
    Connect = 1,
    ConnAck = 2,
    Publish = 3,
    PubAck = 4,
    PubRec = 5,
    PubRel = 6,
    PubComp = 7,
    Subscribe = 8,
    SubAck = 9,
    Unsubscribe = 10,
    UnsubAck = 11,
    PingReq = 12,
    PingResp = 13,
    Disconnect = 14,
};

inline constexpr PacketType TypeOf(uint8_t byte0) {
    return static_cast<PacketType>(byte0 >> 4);
}

// Byte 0 of a packet: its type and the low four flag bits.
inline constexpr uint8_t Byte0(PacketType type, uint8_t flags = 0) {
    return static_cast<uint8_t>((static_cast<uint8_t>(type) << 4) | (flags & 0x0F));
}

}  // namespace mqtt
