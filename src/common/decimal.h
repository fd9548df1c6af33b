#pragma once
#include <cstdint>
#include <string_view>

namespace norvex {

// A decimal integer at the start of text, as the C library scans one: leading white space, a
// sign, digits; the first other character ends it.  The value saturates at the 32-bit limits
// instead of wrapping.  0 when no digit comes.  *digits (when given) tells whether a digit came,
// *fits whether the value was within 32 bits.
int32_t ScanDecimal(std::string_view text, bool* digits = nullptr, bool* fits = nullptr);

}  // namespace norvex
