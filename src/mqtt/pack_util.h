#pragma once
// Helpers shared by the packers; not part of the client's interface.
#include <cstdint>
#include <cstring>

#include "mqtt/packet_chain.h"

namespace mqtt {

namespace pack {

inline constexpr uint32_t kMaxText = 65535;  // a text's length field is 16 bits

// Length of a NUL-terminated text, or -1 when it is longer than a 16-bit length can say.
inline int32_t TextLength(const char* text) {
    size_t n = strnlen(text, kMaxText + 1);
    return n > kMaxText ? -1 : static_cast<int32_t>(n);
}

inline uint8_t* PutU16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
    return p + 2;
}

inline uint8_t* PutBytes(uint8_t* p, const void* src, uint32_t n) {
    if (n != 0) std::memcpy(p, src, n);
    return p + n;
}

inline uint8_t* PutText(uint8_t* p, const char* text, uint32_t n) {
    return PutBytes(PutU16(p, n), text, n);
}

// Carves the fixed-header chunk at its largest size (5 bytes); null when out of memory.
inline PacketChunk* CarveFixedHeader(PacketChain* chain) { return NewChunk(chain, 5); }

// Writes byte 0 and the remaining length into a fixed-header chunk and trims it to what was
// written; returns 0 or kErrTooLong.
int32_t FillFixedHeader(PacketChunk* chunk, uint8_t byte0, uint64_t remainingLength);

}  // namespace pack

}  // namespace mqtt
