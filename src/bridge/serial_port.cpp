#include "bridge/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <utility>

#include "bridge/serial_line_settings.h"

namespace norvex {

namespace {

using Clock = std::chrono::steady_clock;

// The write limit of the line: 2000 ms plus 2000 ms per byte (capped, it only bounds a stall).
std::chrono::milliseconds WriteLimit(size_t len) {
    constexpr size_t kMaxBytes = 1000000;
    return std::chrono::milliseconds(2000 + 2000 * static_cast<int64_t>(std::min(len, kMaxBytes)));
}

int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

bool WouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

}  // namespace

std::string SerialDevicePath(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    return "/dev/" + name;
}

SerialPort::~SerialPort() { Close(); }

short SerialPort::PollEvents() const { return POLLIN; }

SerialPort::SerialPort(SerialPort&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      lastError_(std::move(other.lastError_)),
      lastErrno_(other.lastErrno_) {}

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        lastError_ = std::move(other.lastError_);
        lastErrno_ = other.lastErrno_;
    }
    return *this;
}

int SerialPort::Fail(const std::string& what, int err) {
    lastErrno_ = err;
    lastError_ = path_ + ": " + what;
    if (err != 0) lastError_ += std::string(" (") + std::strerror(err) + ")";
    return -1;
}

bool SerialPort::Open(const std::string& name) {
    Close();
    path_ = SerialDevicePath(name);
    lastError_.clear();
    lastErrno_ = 0;
    if (name.empty()) return Fail("no port name", EINVAL) == 0;
    // only character devices: a regular file or a FIFO with a port's name is not a port
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) return Fail("cannot open", errno) == 0;
    if (!S_ISCHR(st.st_mode)) return Fail("not a serial port", ENOTTY) == 0;

    int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(errno == EBUSY ? "in use by another program" : "cannot open", errno) == 0;
    // the same lock picocom and pyserial take: whoever holds the port keeps it
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return Fail("in use by another program", err) == 0;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        int err = errno;
        ::close(fd);
        return Fail("not a serial port", err) == 0;
    }
    ::ioctl(fd, TIOCEXCL);
    ApplyRelayLineSettings(t);
    termios kept{};
    if (::tcsetattr(fd, TCSANOW, &t) != 0 || ::tcgetattr(fd, &kept) != 0 || !HasRelayLineSettings(kept)) {
        int err = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return Fail("rejects 115200 8N1", err) == 0;
    }
    // what was waiting belongs to nobody any more
    ::tcflush(fd, TCIOFLUSH);
    fd_ = fd;
    return true;
}

void SerialPort::Close() {
    if (fd_ < 0) return;
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // drops the flock too
    fd_ = -1;
}

int SerialPort::InputCount() {
    if (fd_ < 0) return Fail("not open", EBADF);
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) return Fail("input count failed", errno);
    if (n > 0) return n;
    // FIONREAD says 0 on a hung-up line as well; the hang-up shows in poll
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return Fail("port hung up", EIO);
    return 0;
}

int SerialPort::Read(uint8_t* dst, size_t len) {
    if (fd_ < 0) return Fail("not open", EBADF);
    if (len == 0) return 0;
    len = std::min<size_t>(len, INT_MAX);
    for (;;) {
        ssize_t n = ::read(fd_, dst, len);
        if (n > 0) return static_cast<int>(n);
        // a non-blocking tty reads 0 only once it has been hung up
        if (n == 0) return Fail("port hung up", EIO);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return Fail("read failed", errno);
    }
}

int SerialPort::Write(const uint8_t* src, size_t len) {
    if (fd_ < 0) return Fail("not open", EBADF);
    if (len > INT_MAX) return Fail("write too large", EINVAL);
    const auto deadline = Clock::now() + WriteLimit(len);
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::write(fd_, src + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && !WouldBlock(errno)) return Fail("write failed", errno);
        int left = MsLeft(deadline);
        if (left == 0) return Fail("write timed out", ETIMEDOUT);
        pollfd pfd{fd_, POLLOUT, 0};
        int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno != EINTR) return Fail("write failed", errno);
        if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (pfd.revents & POLLOUT) == 0)
            return Fail("port hung up", EIO);
    }
    return static_cast<int>(len);
}

}  // namespace norvex
