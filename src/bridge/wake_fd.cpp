#include "bridge/wake_fd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace norvex {

WakeFd::WakeFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0) ::close(fd_);
}

void WakeFd::Raise() {
    uint64_t one = 1;
    // a full counter (never reached) or EAGAIN still leaves the descriptor readable
    [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeFd::Clear() {
    uint64_t value = 0;
    [[maybe_unused]] ssize_t n = ::read(fd_, &value, sizeof value);
}

}  // namespace norvex
