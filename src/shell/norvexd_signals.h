#pragma once
#include <signal.h>

#include <chrono>

#include "common/unique_fd.h"

namespace norvex {

// What a signal asks of norvexd.
enum class SignalRequest { kNone, kStats, kStop, kReload };

// SIGUSR1: a stats line; SIGINT, SIGTERM: a stop; SIGHUP: a stop, then a new run with the
// configuration read again.
SignalRequest RequestOf(int sig);

// The signals norvexd handles itself, blocked in every thread and taken by the main thread
// alone, so that no handler ever runs in the middle of something.  Make it before any thread
// starts: threads inherit the mask.
class ServiceSignals {
public:
    ServiceSignals();
    ServiceSignals(const ServiceSignals&) = delete;
    ServiceSignals& operator=(const ServiceSignals&) = delete;

    // Takes the next signal, waiting at most `wait`; kNone when none came.
    SignalRequest Wait(std::chrono::nanoseconds wait);
    // Readable while a stop or a reload waits to be taken (never read here: Wait takes it), so
    // that a blocking request can watch it; -1 when the system gave no descriptor.
    int StopFd() const { return stopFd_.Get(); }
    // A stop or a reload waits to be taken.
    bool StopPending() const;

private:
    sigset_t all_;
    UniqueFd stopFd_;
};

}  // namespace norvex
