#include "panel/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace norvex {
namespace {

std::atomic<int> gWriteFd{-1};

void OnSignal(int sig) {
    int saved = errno;
    unsigned char byte = static_cast<unsigned char>(sig);
    int fd = gWriteFd.load(std::memory_order_relaxed);
    if (fd >= 0) [[maybe_unused]]
        ssize_t n = ::write(fd, &byte, 1);
    errno = saved;
}

}  // namespace

SignalPipe::SignalPipe(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    read_ = UniqueFd(fds[0]);
    write_ = UniqueFd(fds[1]);
    gWriteFd.store(write_.Get());
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    notifier_ = std::make_unique<QSocketNotifier>(read_.Get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(); });
}

SignalPipe::~SignalPipe() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    gWriteFd.store(-1);
}

void SignalPipe::Drain() {
    unsigned char buf[16];
    ssize_t n;
    while ((n = ::read(read_.Get(), buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) onSignal_(buf[i]);
    }
}

}  // namespace norvex
