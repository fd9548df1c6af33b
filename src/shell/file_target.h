#pragma once
#include <string>

#include "common/unique_fd.h"

namespace norvex {

// Opens a regular file for reading without ever waiting: a FIFO nobody writes, a device or a
// directory is refused at once.  On failure the descriptor is invalid, *missing tells whether
// nothing is there at all, and *reason says why ("Permission denied", "is a FIFO, not a
// regular file").
UniqueFd OpenRegularForReading(const std::string& path, bool* missing, std::string* reason);

// The file that writing path by rename must replace: path itself, or the end of its chain of
// symbolic links, so that the link stays a link.  Empty with *reason set when that is no
// regular file (a device, a FIFO, a directory, a socket), the chain loops or cannot be read,
// or the existing file may not be written.  A path where nothing exists yet is its own target.
std::string ResolveWriteTarget(const std::string& path, std::string* reason);

}  // namespace norvex
