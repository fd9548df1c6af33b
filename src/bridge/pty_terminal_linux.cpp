#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "bridge/pty_terminal.h"
#include "bridge/serial_line_settings.h"
#include "common/errno_util.h"

namespace norvex {

namespace {

constexpr uint32_t kUseEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;

bool Fail(std::string* error, const std::string& what, int err) {
    *error = what + " (" + ErrnoText(err) + ")";
    return false;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

int64_t GroupIdOf(const std::string& group) {
    if (group.empty()) return -1;
    std::vector<char> buf(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrnam_r(group.c_str(), &entry, buf.data(), buf.size(), &found) == 0 && found)
        return found->gr_gid;
    char* end = nullptr;
    errno = 0;
    unsigned long n = std::strtoul(group.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || group[0] < '0' || group[0] > '9' || n > 0x7FFFFFFFul)
        return -1;
    return static_cast<int64_t>(n);
}

PtyTerminal::~PtyTerminal() {
    Close();
}

void PtyTerminal::Close() {
    CloseFd(watch_);
    CloseFd(keeper_);
    CloseFd(master_);
    slavePath_.clear();
}

bool PtyTerminal::Open(uint32_t mode, int64_t gid, std::string* error) {
    Close();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) return Fail(error, "cannot make a pseudo-terminal", errno);
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        int err = errno;
        Close();
        return Fail(error, "cannot unlock the pseudo-terminal", err);
    }
    slavePath_ = name;
    // ours alone until it is set up; opened before the watch exists, so that the watch sees
    // other programs only
    if (::chmod(name, 0600) == 0)
        keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios t{};
    if (keeper_ < 0 || ::tcgetattr(keeper_, &t) != 0) {
        int err = errno;
        Close();
        return Fail(error, "cannot open the pseudo-terminal", err);
    }
    ApplyRelayLineSettings(t);
    if (::tcsetattr(keeper_, TCSANOW, &t) != 0) {
        int err = errno;
        Close();
        return Fail(error, "the pseudo-terminal rejects 115200 8N1", err);
    }
    // the mode asked for only now: one without the owner's bits must not lock us out
    bool ok = ::chmod(name, mode) == 0 &&
              (gid < 0 || ::chown(name, static_cast<uid_t>(-1), static_cast<gid_t>(gid)) == 0);
    if (!ok) {
        int err = errno;
        std::string path = slavePath_;
        Close();
        return Fail(error, "cannot set the group or mode of " + path, err);
    }
    // the master side passes bytes untouched as well
    if (::tcgetattr(master_, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
    }
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, name, kUseEvents) < 0) {
        int err = errno;
        Close();
        return Fail(error, "cannot watch the pseudo-terminal", err);
    }
    return true;
}

TerminalUse PtyTerminal::ReadUse() {
    TerminalUse use;
    alignas(inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = ::read(watch_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + off);
            if (e->mask & IN_Q_OVERFLOW) use.lost = true;
            if (e->mask & IN_OPEN) ++use.opens;
            if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) ++use.closes;
            off += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return use;
}

size_t PtyTerminal::DiscardUnread() {
    if (keeper_ < 0) return 0;
    int n = 0;
    if (::ioctl(keeper_, FIONREAD, &n) != 0) n = 0;
    ::tcflush(keeper_, TCIFLUSH);
    return static_cast<size_t>(n);
}

}  // namespace norvex
