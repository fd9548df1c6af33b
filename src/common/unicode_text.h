#pragma once
#include <string>
#include <string_view>

namespace norvex {

// White space and letter case beyond ASCII, as the C.UTF-8 locale classifies characters,
// whatever locale the process runs in.  Ill-formed UTF-8 is neither space nor letter.

// Removes white space (ASCII and Unicode spaces such as U+3000) from both ends.
std::string TrimWhite(std::string_view utf8);

// Lower-cases letters, non-ASCII ones too; ill-formed bytes stay as they are.
std::string ToLowerText(std::string_view utf8);

}  // namespace norvex
