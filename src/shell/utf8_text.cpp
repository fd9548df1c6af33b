#include "shell/utf8_text.h"

#include <cstdint>

namespace norvex {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed sequence at s[0..n), or 0 when it is ill-formed; `consumed` is the
// length of the maximal invalid subpart then (at least one byte).
size_t SequenceLength(const uint8_t* s, size_t n, size_t& consumed) {
    uint8_t b0 = s[0];
    size_t need = 0;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 < 0x80) return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 3;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 4;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // beyond U+10FFFF
    } else {
        consumed = 1;
        return 0;
    }
    size_t i = 1;
    for (; i < need && i < n; ++i) {
        bool ok = i == 1 ? (s[i] >= lo && s[i] <= hi) : IsContinuation(s[i]);
        if (!ok) break;
    }
    if (i == need) return need;
    consumed = i;
    return 0;
}

}  // namespace

std::string DecodeUtf8Lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto s = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t n = bytes.size();
    size_t i = 0;
    while (i < n && s[i] != 0) {
        size_t consumed = 0;
        size_t len = SequenceLength(s + i, n - i, consumed);
        if (len > 0) {
            out.append(bytes.data() + i, len);
            i += len;
        } else {
            out.append(kReplacement);
            i += consumed;
        }
    }
    return out;
}

size_t Utf16Length(std::string_view utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if (IsContinuation(c)) continue;
        units += c >= 0xF0 ? 2 : 1;
    }
    return units;
}

std::string_view TruncateUtf16(std::string_view utf8, size_t maxUnits) {
    size_t units = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        auto c = static_cast<unsigned char>(utf8[i]);
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        size_t w = len == 4 ? 2 : 1;
        if (units + w > maxUnits || i + len > utf8.size()) break;
        units += w;
        i += len;
    }
    return utf8.substr(0, i);
}

}  // namespace norvex
