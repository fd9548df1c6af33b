#pragma once
#include <chrono>
#include <cstdint>

namespace norvex {

// Milliseconds from now until `deadline` on the steady clock, as poll() takes a timeout: 0 once
// it has passed, at most INT_MAX.
int MsLeft(std::chrono::steady_clock::time_point deadline);

// What is left, at tick `now`, of `limit` ms counted from tick `since`, on a millisecond counter
// that wraps at 32 bits: 0 once the limit has run out.  The difference is taken in unsigned
// arithmetic, so a wrap between the two ticks does no harm.
inline uint32_t TickMsLeft(uint32_t now, uint32_t since, uint32_t limit) {
    const uint32_t spent = now - since;
    return spent >= limit ? 0 : limit - spent;
}

}  // namespace norvex
