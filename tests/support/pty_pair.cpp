#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace norvex::test {

PtyPair::PtyPair() {
    int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        ::close(fd);
        return;
    }
    char name[128];
    if (::ptsname_r(fd, name, sizeof name) != 0) {
        ::close(fd);
        return;
    }
    // the master side is raw too, so that bytes pass both ways untouched
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    master_ = fd;
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
    if (watch_ >= 0) ::close(watch_);
}

bool PtyPair::Write(const void* data, size_t len) {
    auto p = static_cast<const uint8_t*>(data);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (len > 0) {
        ssize_t n = ::write(master_, p, len);
        if (n > 0) {
            p += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd pfd{master_, POLLOUT, 0};
        ::poll(&pfd, 1, 50);
    }
    return true;
}

std::vector<uint8_t> PtyPair::Read(size_t len, int timeoutMs) {
    std::vector<uint8_t> out;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < len && master_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        pollfd pfd{master_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) <= 0) continue;
        uint8_t buf[4096];
        size_t want = std::min(sizeof buf, len - out.size());
        ssize_t n = ::read(master_, buf, want);
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            // EIO: the network side is not open (yet, or any more)
            ::poll(nullptr, 0, 5);
        }
    }
    return out;
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool PtyPair::WatchSlave() {
    if (watch_ < 0) watch_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    return watch_ >= 0;
}

int PtyPair::SlaveInputPending() const {
    int n = 0;
    return watch_ >= 0 && ::ioctl(watch_, FIONREAD, &n) == 0 ? n : -1;
}

}  // namespace norvex::test
