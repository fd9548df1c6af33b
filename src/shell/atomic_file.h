#pragma once
#include <string>
#include <string_view>

namespace norvex {

// Replaces the file at path with content so that a reader sees the old file or the new one,
// never a part: the content goes to a temporary file in the same directory (named path plus a
// random suffix, so that a collector reading "*.prom" skips it), which is then renamed over
// path.  A symbolic link stays: the file it leads to is replaced, in that file's directory; what
// is not a regular file (a device, a FIFO, a directory) is never replaced.  The file is readable by
// all (0644): a monitoring agent runs as another user.  False with *error set on failure; path is
// untouched then and no temporary file is left.
bool ReplaceFileAtomically(const std::string& path, std::string_view content, std::string* error);

}  // namespace norvex
