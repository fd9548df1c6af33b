#pragma once
#include <cstdint>

namespace mqtt {

// Walks `length` bytes of `text` as UTF-8 (RFC 3629: no overlongs, no surrogates, nothing above
// U+10FFFF) and returns the number of bytes walked, or kErrNotUtf8 (-6).  A NUL byte ends the
// walk early, so a caller accepts a text only when the result equals the length it passed.
// Never reads text[length] or beyond.
int32_t Utf8CheckedLength(const char* text, int32_t length);

}  // namespace mqtt
