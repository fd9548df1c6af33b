#pragma once
#include <cstddef>
#include <cstdint>

namespace norvex {

// One relay data packet as it arrives on the data topic: "<key hex>,<number hex>," in exactly
// 14 characters, then two hex digits per byte.
struct ClientPacket {
    uint32_t senderKey = 0;
    uint16_t packetNumber = 0;  // only the low 16 bits of the header's number count
    uint8_t data[64] = {};
    int count = 0;  // 0..64
};

inline constexpr size_t kClientDataOffset = 14;
inline constexpr int kClientPacketMaxData = 64;

// Decodes a data payload.  Returns the number of data bytes (0..64), or -1 when the header is
// not "%x,%x," or a used pair is not two hex digits; *out is then left as it was.  Digits past
// the 64th byte are not looked at; an odd trailing digit is dropped.
int DecodeClientPacket(const uint8_t* payload, size_t length, ClientPacket* out);

}  // namespace norvex
