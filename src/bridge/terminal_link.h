#pragma once
#include <string>

namespace norvex {

// The symbolic link by which a user program finds a virtual port's terminal.
//
// PlaceTerminalLink makes path a link to target (a /dev/pts path).  Missing directories on the
// way are created 0700.  A link already at path is replaced when it is stale: its target is gone,
// or is a pseudo-terminal not of this user.  A link to a live terminal of this user (perhaps
// another service's port) is left alone, and so is anything at path that is not a link; both
// fail with *error naming path.  A link to anything but a terminal under /dev/pts (a user's link
// to a file, say) is not a stale one of ours and is refused the same way.
bool PlaceTerminalLink(const std::string& path, const std::string& target, std::string* error);

// Removes the link at path only if it still points at target.
void RemoveTerminalLinkIfOurs(const std::string& path, const std::string& target);

}  // namespace norvex
