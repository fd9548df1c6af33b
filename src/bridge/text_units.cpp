#include "bridge/text_units.h"

#include <limits>

namespace norvex {

namespace {

// Length of the well-formed UTF-8 character at p[0..n), or 0 when there is none (RFC 3629).
size_t CharLength(const uint8_t* p, size_t n) {
    auto cont = [&](size_t i, uint8_t lo = 0x80, uint8_t hi = 0xBF) {
        return i < n && p[i] >= lo && p[i] <= hi;
    };
    uint8_t c = p[0];
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c == 0xE0) return cont(1, 0xA0) && cont(2) ? 3 : 0;
    if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) return cont(1) && cont(2) ? 3 : 0;
    if (c == 0xED) return cont(1, 0x80, 0x9F) && cont(2) ? 3 : 0;
    if (c == 0xF0) return cont(1, 0x90) && cont(2) && cont(3) ? 4 : 0;
    if (c >= 0xF1 && c <= 0xF3) return cont(1) && cont(2) && cont(3) ? 4 : 0;
    if (c == 0xF4) return cont(1, 0x80, 0x8F) && cont(2) && cont(3) ? 4 : 0;
    return 0;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string ToValidUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto p = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t i = 0;
    while (i < bytes.size()) {
        size_t len = CharLength(p + i, bytes.size() - i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string CutToUtf16Units(std::string_view text, size_t maxUnits) {
    auto p = reinterpret_cast<const uint8_t*>(text.data());
    size_t i = 0;
    size_t units = 0;
    while (i < text.size()) {
        size_t len = CharLength(p + i, text.size() - i);
        if (len == 0) len = 1;  // not valid: counted as one unit, as U+FFFD would be
        size_t charUnits = len == 4 ? 2 : 1;
        if (units + charUnits > maxUnits) break;
        units += charUnits;
        i += len;
    }
    return std::string(text.substr(0, i));
}

size_t Utf16Units(std::string_view text) {
    auto p = reinterpret_cast<const uint8_t*>(text.data());
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        size_t len = CharLength(p + i, text.size() - i);
        if (len == 0) len = 1;
        units += len == 4 ? 2 : 1;
        i += len;
    }
    return units;
}

int32_t ScanDecimal(std::string_view text, bool* digits) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    bool any = false;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        if (value < kLimit) value = value * 10 + (text[i] - '0');
    }
    if (digits) *digits = any;
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace norvex
