#include "password_input.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace norvex {

namespace {

// Longer lines are not passwords anyone types; the rest of such a line is not read.
constexpr size_t kMaxLine = 4096;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Echo off for as long as it lives; the newline the user types is still echoed.
class EchoOff {
public:
    explicit EchoOff(int fd) : fd_(fd), saved_(::tcgetattr(fd, &old_) == 0) {
        if (!saved_) return;
        termios quiet = old_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd_, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (saved_) ::tcsetattr(fd_, TCSAFLUSH, &old_);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    int fd_;
    termios old_{};
    bool saved_;
};

}  // namespace

std::optional<std::string> ReadPasswordLine(int fd) {
    std::string line;
    bool any = false;
    while (line.size() < kMaxLine) {
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        any = true;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return line;
        }
        line.push_back(c);
    }
    if (!any) return std::nullopt;
    return line;
}

std::optional<std::string> ReadPasswordFile(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return std::nullopt;
    return ReadPasswordLine(fd.Get());
}

std::optional<std::string> ReadPasswordFromTerminal(const char* prompt) {
    Fd tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.Get() < 0) return std::nullopt;
    EchoOff quiet(tty.Get());
    (void)!::write(tty.Get(), prompt, std::strlen(prompt));
    return ReadPasswordLine(tty.Get());
}

}  // namespace norvex
