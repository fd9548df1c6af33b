// The receiving side's stream: reads the broker's bytes into the session's buffer, cuts out
// every complete packet for RouteIncoming and keeps an incomplete one for the next call.
#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_receive.h"

namespace mqtt {

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
