#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace norvex {

// Text in the group service is UTF-8 in std::string.  Lengths that the panel's boxes and
// fields are measured in are UTF-16 units, so a character outside the BMP counts twice.

// The number of UTF-16 units of valid UTF-8 text (invalid bytes count one unit each).
size_t Utf16Length(std::string_view utf8);

// Valid UTF-8 for any bytes: every invalid or truncated sequence becomes U+FFFD; the text ends
// at the first NUL byte, as a reply read into a zero-terminated buffer does.
std::string DecodeUtf8Lossy(std::string_view bytes);

// Removes white space (ASCII and Unicode spaces such as U+3000) from both ends.
std::string TrimWhite(std::string_view utf8);

// Lower-cases letters, non-ASCII ones too (as the C.UTF-8 locale knows them).
std::string ToLowerText(std::string_view utf8);

// Decimal integer from the start of the text: leading white space and a sign allowed, the
// conversion ends at the first other character, 0 when no digit comes first.  Values outside
// 32 bits saturate at INT32_MIN / INT32_MAX instead of wrapping.
int32_t ParseLeadingInt(std::string_view text);

// Like ParseLeadingInt, but tells whether a digit came at all and whether the value fit.
bool TryParseLeadingInt(std::string_view text, int32_t* out);

// At most maxUnits UTF-16 units of the text, never cutting a character in two.
std::string TruncateUtf16(std::string_view utf8, size_t maxUnits);

}  // namespace norvex
