#include "line_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "common/errno_util.h"

namespace norvex::relay {

namespace {

speed_t SpeedCode(uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

tcflag_t SizeFlag(int bits) {
    return bits == 5 ? CS5 : bits == 6 ? CS6 : bits == 7 ? CS7 : CS8;
}

// raw bytes both ways, no flow control, modem lines ignored, framing from the configuration
void ApplyLine(termios& t, const RelayConfig& c, speed_t speed) {
    cfmakeraw(&t);
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= SizeFlag(c.dataBits) | CREAD | CLOCAL;
    if (c.parity != 'N') t.c_cflag |= PARENB | (c.parity == 'O' ? PARODD : 0);
    if (c.stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
}

}  // namespace

bool LinePort::Fail(const std::string& what, int err) {
    error_ = what + (err != 0 ? " (" + ErrnoText(err) + ")" : "");
    Close();
    return false;
}

void LinePort::DropHeld() {
    dropped_ += held_.size() - heldAt_;
    held_.clear();
    heldAt_ = 0;
}

// what was held for the line is not for the next one
void LinePort::Close() {
    DropHeld();
    fd_.Close();
}

bool LinePort::Open(const RelayConfig& cfg) {
    Close();
    rs485Refused_ = false;
    speed_t speed = SpeedCode(cfg.speed);
    if (speed == B0) return Fail(cfg.port + ": unsupported speed " + std::to_string(cfg.speed), 0);
    fd_ = UniqueFd(::open(cfg.port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_) return Fail(cfg.port + ": cannot open", errno);
    if (::flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0)
        return Fail(cfg.port + ": in use by another program", errno);
    termios t{};
    if (::tcgetattr(fd_.Get(), &t) != 0) return Fail(cfg.port + ": not a serial port", errno);
    ::ioctl(fd_.Get(), TIOCEXCL);
    ApplyLine(t, cfg, speed);
    if (::tcsetattr(fd_.Get(), TCSANOW, &t) != 0)
        return Fail(cfg.port + ": rejects the line settings", errno);
    if (cfg.rs485) {
        serial_rs485 rs{};
        rs.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        rs485Refused_ = ::ioctl(fd_.Get(), TIOCSRS485, &rs) != 0;
    }
    ::tcflush(fd_.Get(), TCIOFLUSH);
    error_.clear();
    return true;
}

int LinePort::Read(uint8_t* dst, size_t cap) {
    ssize_t n = ::read(fd_.Get(), dst, cap);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    Fail("serial line lost", n < 0 ? errno : EIO);
    return -1;
}

short LinePort::PollEvents() const {
    return heldAt_ < held_.size() ? POLLIN | POLLOUT : POLLIN;
}

bool LinePort::Write(const uint8_t* src, size_t len) {
    // an idle line is handed any payload at once; one already behind only what fits the limit
    const size_t waiting = held_.size() - heldAt_;
    if (waiting > 0 && waiting + len > kHeldLimit) {
        dropped_ += len;
        return true;
    }
    held_.erase(held_.begin(), held_.begin() + static_cast<ptrdiff_t>(heldAt_));
    heldAt_ = 0;
    held_.insert(held_.end(), src, src + len);
    return FlushHeld();
}

bool LinePort::FlushHeld() {
    while (heldAt_ < held_.size()) {
        ssize_t n = ::write(fd_.Get(), held_.data() + heldAt_, held_.size() - heldAt_);
        if (n > 0) {
            heldAt_ += static_cast<size_t>(n);
            written_ += static_cast<uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return Fail("serial line lost", n < 0 ? errno : EIO);
    }
    held_.clear();
    heldAt_ = 0;
    return true;
}

}  // namespace norvex::relay
