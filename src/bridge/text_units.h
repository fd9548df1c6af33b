#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace norvex {

// Relays send 8-bit text; the panel shows UTF-16 text in fixed fields.  These helpers keep the
// UTF-8 the core passes around valid and within the fields' limits.

// Valid UTF-8 stays as it is; every byte that does not start a well-formed character becomes
// U+FFFD, so a relay's garbage never reaches the panel as broken text.
std::string ToValidUtf8(std::string_view bytes);

// The longest prefix of valid UTF-8 `text` that fits in maxUnits UTF-16 units (a character above
// U+FFFF takes two; it is never split).
std::string CutToUtf16Units(std::string_view text, size_t maxUnits);

// Number of UTF-16 units that valid UTF-8 `text` takes.
size_t Utf16Units(std::string_view text);

// A decimal integer as the C library reads one: leading white space, a sign, digits; the value
// saturates at the 32-bit limits.  *digits tells whether any digit came; the result is 0 then.
int32_t ScanDecimal(std::string_view text, bool* digits);

}  // namespace norvex
