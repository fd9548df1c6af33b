#include "bridge/serial_line_settings.h"

namespace norvex {

namespace {

constexpr tcflag_t kInputOff = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                               IXOFF | IXANY | INPCK | IUCLC | IMAXBEL;
constexpr tcflag_t kLocalOff = ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN;
constexpr tcflag_t kControlOff = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;

}  // namespace

void ApplyRelayLineSettings(termios& t) {
    t.c_iflag &= ~kInputOff;
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~kLocalOff;
    t.c_cflag &= ~kControlOff;
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    // with O_NONBLOCK a read never waits; VMIN 1 makes "nothing yet" EAGAIN, so that a read of 0
    // bytes means a hung-up line (with VMIN 0 both look the same)
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
}

bool HasRelayLineSettings(const termios& t) {
    return (t.c_iflag & kInputOff) == 0 && (t.c_oflag & OPOST) == 0 &&
           (t.c_lflag & kLocalOff) == 0 &&
           (t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)) == CS8 && (t.c_cflag & CREAD) != 0 &&
           t.c_cc[VMIN] == 1 && t.c_cc[VTIME] == 0 && cfgetispeed(&t) == B115200 &&
           cfgetospeed(&t) == B115200;
}

}  // namespace norvex
