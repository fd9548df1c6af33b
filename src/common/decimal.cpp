#include "common/decimal.h"

#include <limits>

namespace norvex {

int32_t ScanDecimal(std::string_view text, bool* digits, bool* fits) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;  // the magnitude, held just past the limit once it overflows
    bool any = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        any = true;
        if (value <= kMax) value = value * 10 + (text[i] - '0');
    }
    if (negative) value = -value;
    if (digits) *digits = any;
    if (fits) *fits = value >= kMin && value <= kMax;
    if (value > kMax) return static_cast<int32_t>(kMax);
    if (value < kMin) return static_cast<int32_t>(kMin);
    return static_cast<int32_t>(value);
}

}  // namespace norvex
