#pragma once
#include <cstdint>
#include <string_view>

#include "mqtt/packet_chain.h"
#include "mqtt/packet_type.h"

namespace mqtt {

// Packers append one whole packet to `chain` and return 0, or a negative code of mqtt_errors.h.
// A packer that fails links nothing (its carved chunks stay unlinked in the chain's blocks until
// release). Texts are NUL-terminated and at most 65,535 bytes long (a 16-bit length on the wire).

// Writes the MQTT remaining length of `value` at dst (room for 4 bytes); returns the number of
// bytes written, or kErrTooLong above 268,435,455.
int32_t EncodeRemainingLength(uint8_t* dst, uint32_t value);

// The client identifiers BuildConnect takes: ASCII letters and digits only (the platform
// derives them from device ids and uses nothing else); true for an empty one.  Exported so that
// a caller can refuse an identifier before it ever reaches a packer.
bool IsClientIdText(std::string_view clientId);

// CONNECT, MQTT 3.1.1, clean session, keep-alive 120 s, user name and password, no will.
// clientId: IsClientIdText (may be empty), else kErrBadParameter.
int32_t BuildConnect(PacketChain* chain, const char* clientId, const char* userName,
                     const uint8_t* password, uint16_t passwordLength);
// SUBSCRIBE with packet id 1 for exactly two filters, each at QoS 2.
int32_t BuildSubscribe(PacketChain* chain, const char* const filters[2]);
// PUBLISH at QoS 1, DUP 0, RETAIN 0.  packetId must not be 0; topic without wildcards.
int32_t BuildPublish(PacketChain* chain, uint16_t packetId, const char* topic,
                     const uint8_t* payload, uint32_t length);
// PINGREQ (0xC0 0x00), which keeps an otherwise idle connection alive.
int32_t BuildPingReq(PacketChain* chain);

// The 4-byte acknowledgements the receiver sends by itself: byte 0, 0x02, packet id big-endian.
inline constexpr uint8_t kPubAck = Byte0(PacketType::PubAck);
inline constexpr uint8_t kPubRec = Byte0(PacketType::PubRec);
inline constexpr uint8_t kPubRel = Byte0(PacketType::PubRel, 0x02);  // flag bits 0010 required
inline constexpr uint8_t kPubComp = Byte0(PacketType::PubComp);
int32_t BuildAck(PacketChain* chain, uint8_t byte0, uint16_t packetId);

}  // namespace mqtt
