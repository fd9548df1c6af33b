#pragma once
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "common/unique_fd.h"

namespace norvex {

// SIGTERM and SIGINT brought into the event loop: the handler only writes a byte to a pipe,
// and `onSignal` runs on the UI thread when it is read.  One instance per process.
class SignalPipe {
public:
    explicit SignalPipe(std::function<void(int)> onSignal);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    bool Ok() const { return notifier_ != nullptr; }

private:
    void Drain();

    UniqueFd read_;
    UniqueFd write_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(int)> onSignal_;
};

}  // namespace norvex
