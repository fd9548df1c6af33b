#include "mqtt/utf8_check.h"

#include "mqtt/mqtt_errors.h"

namespace mqtt {

namespace {

// Sequence length announced by a lead byte; 5 and 6 are never well-formed but still measured.
int32_t SequenceLength(uint8_t lead) {
    if (lead <= 0xBF) return 1;
    if (lead <= 0xDF) return 2;
    if (lead <= 0xEF) return 3;
    if (lead <= 0xF7) return 4;
    if (lead <= 0xFB) return 5;
    return 6;
}

bool IsContinuation(uint8_t b) {
    return b >= 0x80 && b <= 0xBF;
}

// The second byte's range narrows for E0, ED, F0 and F4: this rules out overlong forms,
// surrogates and code points above U+10FFFF (RFC 3629, section 4).
bool SecondByteOk(uint8_t lead, uint8_t second) {
    switch (lead) {
        case 0xE0:
            return second >= 0xA0 && second <= 0xBF;
        case 0xED:
            return second >= 0x80 && second <= 0x9F;
        case 0xF0:
            return second >= 0x90 && second <= 0xBF;
        case 0xF4:
            return second >= 0x80 && second <= 0x8F;
        default:
            return IsContinuation(second);
    }
}

bool WellFormed(const uint8_t* p, int32_t n) {
    uint8_t lead = p[0];
    if (n == 1) return lead <= 0x7F;
    if (n > 4 || lead < 0xC2 || lead > 0xF4) return false;
    if (!SecondByteOk(lead, p[1])) return false;
    for (int32_t i = 2; i < n; ++i) {
        if (!IsContinuation(p[i])) return false;
    }
    return true;
}

}  // namespace

int32_t Utf8CheckedLength(const char* text, int32_t length) {
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    int32_t pos = 0;
    // A NUL is checked before every character, the first included: a text that starts with
    // NUL walks 0 bytes and is refused like one with a NUL further in.
    while (pos < length && p[pos] != 0) {
        int32_t n = SequenceLength(p[pos]);
        if (n > length - pos || !WellFormed(p + pos, n)) return kErrNotUtf8;
        pos += n;
    }
    return pos;
}

}  // namespace mqtt
