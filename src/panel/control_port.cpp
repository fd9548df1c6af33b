#include "panel/control_port.h"

#include <sys/eventfd.h>

#include <cstdint>

#include "panel/off_thread.h"

namespace norvex {

StartCancel::StartCancel() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void StartCancel::Fire() {
    fired_.store(true);
    const uint64_t one = 1;
    // a full counter is readable already
    [[maybe_unused]] ssize_t n = ::write(fd_.Get(), &one, sizeof one);
}

// Only the program's end stops and waits: a start still waiting for its web requests is cut
// short for good (the process is ending), so nothing is left running on the gateway.
void ControlPort::StopAndWait() {
    cancel_.Fire();
    control_.RequestStop();
    control_.JoinEngine();
}

OffThread MakeQtOffThread(QObject* receiver) {
    return [receiver](std::function<void()> work, std::function<void()> done) {
        RunOffThread<bool>(
            receiver,
            [work = std::move(work)] {
                work();
                return true;
            },
            [done = std::move(done)](bool) { done(); });
    };
}

}  // namespace norvex
