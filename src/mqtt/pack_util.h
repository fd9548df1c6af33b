#pragma once
// Helpers shared by the packers; not part of the client's interface.
#include <cstdint>
#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/packet_chain.h"

namespace mqtt {

namespace pack {

inline constexpr uint32_t kMaxText = 65535;                 // a text's length field is 16 bits
inline constexpr uint32_t kMaxRemainingLength = 268435455;  // four 7-bit groups

// Length of a NUL-terminated text, or kErrBadParameter when it is longer than a 16-bit length
// can say.
inline int32_t TextLength(const char* text) {
    size_t n = strnlen(text, kMaxText + 1);
    return n > kMaxText ? kErrBadParameter : static_cast<int32_t>(n);
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
inline PacketChunk* CarveFixedHeader(PacketChain* chain) {
    return NewChunk(chain, 5);
}

// Writes a remaining length of at most kMaxRemainingLength at dst: 7 bits a byte, low group
// first, the top bit saying another byte follows.  Returns the bytes written (1..4).
inline int32_t PutRemainingLength(uint8_t* dst, uint32_t value) {
    int32_t n = 0;
    do {
        auto digit = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
        if (value != 0) digit |= 0x80;
        dst[n++] = digit;
    } while (value != 0);
    return n;
}

// Writes byte 0 and the remaining length into a fixed-header chunk and trims it to what was
// written; returns 0 or kErrTooLong.
inline int32_t FillFixedHeader(PacketChunk* chunk, uint8_t byte0, uint64_t remainingLength) {
    if (remainingLength > kMaxRemainingLength) return kErrTooLong;
    chunk->data[0] = byte0;
    int32_t n = PutRemainingLength(chunk->data + 1, static_cast<uint32_t>(remainingLength));
    chunk->size = static_cast<uint32_t>(1 + n);
    return 0;
}

}  // namespace pack

}  // namespace mqtt
