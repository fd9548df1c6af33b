#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace norvex {

// The text up to the first zero byte, with every ill-formed UTF-8 sequence (each maximal
// invalid subpart: stray continuation bytes, overlong forms, surrogates, truncated sequences)
// replaced by U+FFFD, so that everything downstream sees well-formed UTF-8.
std::string DecodeUtf8Lossy(std::string_view bytes);

// Length of well-formed UTF-8 text in UTF-16 code units: the unit in which the panel's text
// fields have always been sized (a character beyond U+FFFF takes two).
size_t Utf16Length(std::string_view utf8);

// The longest prefix of well-formed UTF-8 text that fits in maxUnits UTF-16 units, cut on a
// character boundary.
std::string_view TruncateUtf16(std::string_view utf8, size_t maxUnits);

}  // namespace norvex
