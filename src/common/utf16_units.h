#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace norvex {

// The panel's boxes and fields measure text in UTF-16 units: a character above U+FFFF takes
// two, any other one.  An ill-formed piece of UTF-8 counts one unit, as the U+FFFD that
// ToValidUtf8 makes of it.

size_t Utf16Units(std::string_view utf8);

// The longest prefix of the text that fits in maxUnits UTF-16 units, never ending inside a
// character (nor inside an ill-formed piece).
std::string CutToUtf16Units(std::string_view utf8, size_t maxUnits);

}  // namespace norvex
