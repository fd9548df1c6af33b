#include "bridge/tick_clock.h"

#include <time.h>

namespace norvex {

uint32_t MonotonicClock::NowMs() const {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

const TickClock& SystemTickClock() {
    static const MonotonicClock clock;
    return clock;
}

}  // namespace norvex
