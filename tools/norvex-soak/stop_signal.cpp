#include "stop_signal.h"

#include <signal.h>

#include <atomic>

namespace norvex::soak {

namespace {

// Written by the signal handler, hence lock-free and process-wide.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int) {
    stopRequested.store(true);
}

}  // namespace

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

bool StopRequested() {
    return stopRequested.load();
}

}  // namespace norvex::soak
