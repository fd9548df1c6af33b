#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"

namespace mqtt {

namespace {
constexpr uint32_t kMaxRemainingLength = 268435455;  // four 7-bit groups
}

int32_t EncodeRemainingLength(uint8_t* dst, uint32_t value) {
    if (value > kMaxRemainingLength) return kErrTooLong;
    int32_t n = 0;
    do {
        auto digit = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
        if (value != 0) digit |= 0x80;
        dst[n++] = digit;
    } while (value != 0);
    return n;
}

namespace pack {

int32_t FillFixedHeader(PacketChunk* chunk, uint8_t byte0, uint64_t remainingLength) {
    if (remainingLength > kMaxRemainingLength) return kErrTooLong;
    chunk->data[0] = byte0;
    int32_t n = EncodeRemainingLength(chunk->data + 1, static_cast<uint32_t>(remainingLength));
    if (n < 0) return n;
    chunk->size = static_cast<uint32_t>(1 + n);
    return 0;
}

}  // namespace pack

}  // namespace mqtt
