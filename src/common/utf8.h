#pragma once
#include <string>
#include <string_view>

namespace norvex {

// Text inside the system is UTF-8 in std::string.  Bytes from outside (relays, the web service,
// the configuration file) are made valid here before anyone shows or measures them.

inline constexpr char32_t kReplacementChar = 0xFFFD;

// Decodes the character at the start of text (RFC 3629: no overlongs, no surrogates, nothing
// above U+10FFFF).  Returns its length in bytes (1..4) and sets *cp; when no well-formed
// character starts there, returns minus the length of the bytes that make one ill-formed piece
// (the longest prefix that could have begun a character, at least one byte) and sets *cp to
// U+FFFD.  0 for empty text.
int DecodeUtf8Char(std::string_view text, char32_t* cp);

// Appends cp (at most U+10FFFF, no surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

bool IsValidUtf8(std::string_view bytes);

// Valid UTF-8 stays as it is; every ill-formed piece becomes one U+FFFD.
std::string ToValidUtf8(std::string_view bytes);

// The bytes before the first NUL: what a reader of a zero-terminated buffer sees.
std::string_view BeforeNul(std::string_view bytes);

}  // namespace norvex
