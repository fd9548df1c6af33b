#include "panel/control_port.h"

#include "panel/off_thread.h"

namespace norvex {

void ControlPort::StopAndWait() {
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
