#pragma once
#include <cerrno>
#include <string>

namespace norvex {

// errno as the user reads it ("No such file or directory"); safe from any thread.
std::string ErrnoText(int err);

// A non-blocking descriptor has nothing to give or no room now.
inline bool WouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK;
}

// Nothing went wrong for good: a non-blocking descriptor was not ready, or a signal cut the
// call short.  Wait (poll) and call again.
inline bool IsTransient(int err) {
    return err == EINTR || WouldBlock(err);
}

// Calls f (a system call wrapper that returns -1 and sets errno on failure) again as long as
// a signal interrupts it.
template <class F>
auto RetryOnEintr(F&& f) {
    for (;;) {
        auto r = f();
        if (r != -1 || errno != EINTR) return r;
    }
}

}  // namespace norvex
