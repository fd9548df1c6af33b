#include "bridge/virtual_port.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "bridge/terminal_link.h"
#include "common/errno_util.h"

namespace norvex {

std::unique_ptr<VirtualPort> VirtualPort::Open(const std::string& linkPath,
                                               const VirtualPortOptions& options,
                                               std::string* error) {
    if (options.mode > 0777) {
        *error = linkPath + ": mode must be permission bits (at most 0777)";
        return nullptr;
    }
    int64_t gid = -1;
    if (!options.group.empty()) {
        gid = GroupIdOf(options.group);
        if (gid < 0) {
            *error = linkPath + ": no group " + options.group;
            return nullptr;
        }
    }
    std::unique_ptr<VirtualPort> port(new VirtualPort);
    std::string why;
    if (!port->terminal_.Open(options.mode, gid, &why)) {
        *error = linkPath + ": " + why;
        return nullptr;
    }
    if (!PlaceTerminalLink(linkPath, port->terminal_.SlavePath(), error)) return nullptr;
    port->linkPath_ = linkPath;
    return port;
}

VirtualPort::~VirtualPort() {
    if (!linkPath_.empty()) RemoveTerminalLinkIfOurs(linkPath_, terminal_.SlavePath());
}

// The master never hangs up (we hold the slave ourselves), so input is all there is to wait for.
short VirtualPort::PollEvents() const {
    return POLLIN;
}

void VirtualPort::OnWatchReady() {
    TerminalUse use = terminal_.ReadUse();
    const bool wasAttached = openers_ > 0;
    openers_ = std::max(0, openers_ + use.opens - use.closes);
    // with notices lost the count is a guess: better to offer bytes to nobody (the full queue
    // drops them) than to withhold them from a program that is there
    if (use.lost) openers_ = std::max(openers_, 1);
    // what the last program left unread is not for the next one (it was handed to the
    // terminal while a program had it open, so it is not counted as dropped)
    if (!wasAttached && use.opens > 0) terminal_.DiscardUnread();
}

int VirtualPort::Fail(const char* what, int err) {
    lastError_ = linkPath_ + ": " + what + " (" + ErrnoText(err) + ")";
    return -1;
}

int VirtualPort::InputCount() {
    int n = 0;
    if (::ioctl(terminal_.MasterFd(), FIONREAD, &n) != 0) return Fail("input count failed", errno);
    return n;
}

int VirtualPort::Read(uint8_t* dst, size_t len) {
    if (len == 0) return 0;
    len = std::min<size_t>(len, INT_MAX);
    for (;;) {
        ssize_t n = ::read(terminal_.MasterFd(), dst, len);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return Fail("read failed", errno);
    }
}

int VirtualPort::Write(const uint8_t* src, size_t len) {
    if (len > INT_MAX) return Fail("write too large", EINVAL);
    // the watch learns of an open or close within that call, so looking now makes the bytes
    // go to exactly the programs that have the terminal open at this moment
    OnWatchReady();
    size_t done = 0;
    while (openers_ > 0 && done < len) {
        ssize_t n = ::write(terminal_.MasterFd(), src + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // the program does not read: its queue is full
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        return Fail("write failed", n < 0 ? errno : EIO);
    }
    dropped_ += len - done;
    return static_cast<int>(len);
}

}  // namespace norvex
