#include "bridge/client_packet.h"

namespace norvex {

namespace {

int HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsSpace(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// One "%x" conversion as the C library does it: white space, a sign, an optional 0x, then at
// least one digit; the value wraps modulo 2^32.  Advances *pos past what it took.
bool ScanHex(const uint8_t* p, size_t length, size_t* pos, uint32_t* value) {
    size_t i = *pos;
    while (i < length && IsSpace(p[i])) ++i;
    bool negative = false;
    if (i < length && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
    if (i + 2 < length && p[i] == '0' && (p[i + 1] == 'x' || p[i + 1] == 'X') &&
        HexValue(p[i + 2]) >= 0) {
        i += 2;
    }
    uint32_t v = 0;
    size_t digits = 0;
    for (; i < length && HexValue(p[i]) >= 0; ++i, ++digits) {
        v = (v << 4) | static_cast<uint32_t>(HexValue(p[i]));
    }
    if (digits == 0) return false;
    *value = negative ? 0u - v : v;
    *pos = i;
    return true;
}

bool ScanComma(const uint8_t* p, size_t length, size_t* pos) {
    if (*pos >= length || p[*pos] != ',') return false;
    ++*pos;
    return true;
}

}  // namespace

int DecodeClientPacket(const uint8_t* payload, size_t length, ClientPacket* out) {
    if (payload == nullptr || out == nullptr) return -1;
    size_t pos = 0;
    uint32_t key = 0;
    uint32_t number = 0;
    if (!ScanHex(payload, length, &pos, &key) || !ScanComma(payload, length, &pos) ||
        !ScanHex(payload, length, &pos, &number) || !ScanComma(payload, length, &pos)) {
        return -1;
    }
    uint8_t bytes[kClientPacketMaxData];
    int count = 0;
    for (size_t i = kClientDataOffset; i + 1 < length && count < kClientPacketMaxData; i += 2) {
        int hi = HexValue(payload[i]);
        int lo = HexValue(payload[i + 1]);
        if (hi < 0 || lo < 0) return -1;
        bytes[count++] = static_cast<uint8_t>((hi << 4) | lo);
    }
    out->senderKey = key;
    out->packetNumber = static_cast<uint16_t>(number & 0xFFFFu);
    for (int i = 0; i < count; ++i) out->data[i] = bytes[i];
    out->count = count;
    return count;
}

}  // namespace norvex
