#include "shell/norvexd_signals.h"

#include <poll.h>
#include <sys/signalfd.h>

namespace norvex {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

SignalRequest RequestOf(int sig) {
    switch (sig) {
        case SIGUSR1:
            return SignalRequest::kStats;
        case SIGINT:
        case SIGTERM:
            return SignalRequest::kStop;
        case SIGHUP:
            return SignalRequest::kReload;
        default:
            return SignalRequest::kNone;
    }
}

ServiceSignals::ServiceSignals() {
    all_ = StopSet();
    sigaddset(&all_, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &all_, nullptr);
    sigset_t stops = StopSet();
    stopFd_ = UniqueFd(::signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK));
}

SignalRequest ServiceSignals::Wait(std::chrono::nanoseconds wait) {
    if (wait.count() < 0) wait = std::chrono::nanoseconds(0);
    timespec ts{static_cast<time_t>(wait.count() / 1000000000),
                static_cast<long>(wait.count() % 1000000000)};
    return RequestOf(::sigtimedwait(&all_, nullptr, &ts));
}

bool ServiceSignals::StopPending() const {
    if (stopFd_) {
        pollfd p{stopFd_.Get(), POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
    }
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1 ||
           sigismember(&pending, SIGHUP) == 1;
}

}  // namespace norvex
