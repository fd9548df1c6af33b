#pragma once
#include <sys/types.h>

#include <string>

#include "common/unique_fd.h"

namespace norvex {

// Opens a regular file for reading without ever waiting: a FIFO nobody writes, a device or a
// directory is refused at once.  On failure the descriptor is invalid, *missing tells whether
// nothing is there at all, and *reason says why ("Permission denied", "is a FIFO, not a
// regular file").
UniqueFd OpenRegularForReading(const std::string& path, bool* missing, std::string* reason);

// Why a file of this mode is no regular file: "is a FIFO, not a regular file", or the system's
// text for a directory.
std::string NotRegularText(mode_t mode);

}  // namespace norvex
