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
#include <utility>
#include <vector>

#include "bridge/serial_line_settings.h"
#include "common/deadline.h"
#include "common/errno_util.h"

namespace norvex {

namespace {

using Clock = std::chrono::steady_clock;

// The write limit of the line: 2000 ms plus 2000 ms per byte (capped, it only bounds a stall).
std::chrono::milliseconds WriteLimit(size_t len) {
    constexpr size_t kMaxBytes = 1000000;
    return std::chrono::milliseconds(2000 + 2000 * static_cast<int64_t>(std::min(len, kMaxBytes)));
}

}  // namespace

std::string SerialDevicePath(const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    return "/dev/" + name;
}

SerialPort::~SerialPort() {
    Close();
}

short SerialPort::PollEvents() const {
    return held_.Empty() ? POLLIN : POLLIN | POLLOUT;
}

SerialPort::SerialPort(SerialPort&& other) noexcept = default;

SerialPort& SerialPort::operator=(SerialPort&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::move(other.fd_);
        path_ = std::move(other.path_);
        lastError_ = std::move(other.lastError_);
        lastErrno_ = other.lastErrno_;
        held_ = std::move(other.held_);
        dropped_ = other.dropped_;
    }
    return *this;
}

int SerialPort::Fail(const std::string& what, int err) {
    lastErrno_ = err;
    lastError_ = path_ + ": " + what;
    if (err != 0) lastError_ += " (" + ErrnoText(err) + ")";
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

    UniqueFd fd(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return Fail(errno == EBUSY ? "in use by another program" : "cannot open", errno) == 0;
    // the same lock picocom and pyserial take: whoever holds the port keeps it
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return Fail("in use by another program", errno) == 0;
    termios t{};
    if (::tcgetattr(fd.Get(), &t) != 0) return Fail("not a serial port", errno) == 0;
    ::ioctl(fd.Get(), TIOCEXCL);
    ApplyRelayLineSettings(t);
    termios kept{};
    if (::tcsetattr(fd.Get(), TCSANOW, &t) != 0 || ::tcgetattr(fd.Get(), &kept) != 0 ||
        !HasRelayLineSettings(kept)) {
        int err = errno;
        ::ioctl(fd.Get(), TIOCNXCL);
        return Fail("rejects 115200 8N1", err) == 0;
    }
    // what was waiting belongs to nobody any more
    ::tcflush(fd.Get(), TCIOFLUSH);
    fd_ = std::move(fd);
    return true;
}

void SerialPort::Close() {
    held_.Clear();
    if (!fd_) return;
    ::ioctl(fd_.Get(), TIOCNXCL);
    fd_.Close();  // drops the flock too
}

int SerialPort::InputCount() {
    if (!fd_) return Fail("not open", EBADF);
    int n = 0;
    if (::ioctl(fd_.Get(), FIONREAD, &n) != 0) return Fail("input count failed", errno);
    if (n > 0) return n;
    // FIONREAD says 0 on a hung-up line as well; the hang-up shows in poll
    pollfd pfd{fd_.Get(), POLLIN, 0};
    if (::poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        return Fail("port hung up", EIO);
    return 0;
}

int SerialPort::Read(uint8_t* dst, size_t len) {
    if (!fd_) return Fail("not open", EBADF);
    if (len == 0) return 0;
    len = std::min<size_t>(len, INT_MAX);
    ssize_t n = RetryOnEintr([&] { return ::read(fd_.Get(), dst, len); });
    if (n > 0) return static_cast<int>(n);
    // a non-blocking tty reads 0 only once it has been hung up
    if (n == 0) return Fail("port hung up", EIO);
    if (WouldBlock(errno)) return 0;
    return Fail("read failed", errno);
}

int SerialPort::Write(const uint8_t* src, size_t len) {
    if (!fd_) return Fail("not open", EBADF);
    if (len > INT_MAX) return Fail("write too large", EINVAL);
    // what WriteNoWait() held back goes first, or the bytes would come out of order
    if (!held_.Empty()) {
        std::vector<uint8_t> all(held_.Front(), held_.Front() + held_.Size());
        all.insert(all.end(), src, src + len);
        held_.Clear();
        return Write(all.data(), all.size()) < 0 ? -1 : static_cast<int>(len);
    }
    const auto deadline = Clock::now() + WriteLimit(len);
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::write(fd_.Get(), src + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && !IsTransient(errno)) return Fail("write failed", errno);
        int left = MsLeft(deadline);
        if (left == 0) return Fail("write timed out", ETIMEDOUT);
        pollfd pfd{fd_.Get(), POLLOUT, 0};
        int r = ::poll(&pfd, 1, left);
        if (r < 0 && errno != EINTR) return Fail("write failed", errno);
        if (r > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 &&
            (pfd.revents & POLLOUT) == 0)
            return Fail("port hung up", EIO);
    }
    return static_cast<int>(len);
}

ssize_t SerialPort::WriteNow(const uint8_t* src, size_t len) {
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::write(fd_.Get(), src + done, len - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // the application does not read: the line's queue is full
        if (n < 0 && WouldBlock(errno)) break;
        Fail("write failed", n < 0 ? errno : EIO);
        return -1;
    }
    return static_cast<ssize_t>(done);
}

int SerialPort::FlushOutput() {
    if (held_.Empty()) return 0;
    if (!fd_) return Fail("not open", EBADF);
    ssize_t n = WriteNow(held_.Front(), held_.Size());
    if (n < 0) return -1;
    held_.Drop(static_cast<size_t>(n));
    return 0;
}

int SerialPort::WriteNoWait(const uint8_t* src, size_t len) {
    if (!fd_) return Fail("not open", EBADF);
    if (len > INT_MAX) return Fail("write too large", EINVAL);
    // what was held back goes first, or the application's bytes would come out of order
    if (FlushOutput() < 0) return -1;
    size_t done = 0;
    if (held_.Empty()) {
        ssize_t n = WriteNow(src, len);
        if (n < 0) return -1;
        done = static_cast<size_t>(n);
    }
    size_t kept = held_.Append(src + done, len - done);
    dropped_ += len - done - kept;
    return static_cast<int>(len);
}

}  // namespace norvex
