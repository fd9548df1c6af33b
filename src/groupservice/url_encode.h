#pragma once
#include <string>
#include <string_view>

namespace norvex {

// The target encoding of every group-service GET: each byte of 0x80 or above becomes "%" and
// two lower-case hex digits; ASCII passes untouched ("&", "=", "%" and space included).
// Invalid UTF-8 comes back unchanged.
std::string UrlEncodeUtf8(std::string_view utf8);

// One query value made safe for the query it goes into: "&", "=", "#", "+", "%", "?", space,
// DEL and control characters become %XX, so a password holding "&pwd=" cannot add or change a
// parameter.  Bytes of 0x80 and above are left for UrlEncodeUtf8.
std::string EscapeQueryValue(std::string_view value);

}  // namespace norvex
