#pragma once
#include <string>

namespace norvex {

// The file that writing path by rename must replace: path itself, or the end of its chain of
// symbolic links, so that the link stays a link.  Empty with *reason set when that is no
// regular file (a device, a FIFO, a directory, a socket), the chain loops or cannot be read,
// or the existing file may not be written.  A path where nothing exists yet is its own target.
std::string ResolveWriteTarget(const std::string& path, std::string* reason);

}  // namespace norvex
