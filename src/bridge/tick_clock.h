#pragma once
#include <cstdint>

namespace norvex {

// Milliseconds as a 32-bit counter that wraps after 49.7 days.  Differences are taken in
// unsigned 32-bit arithmetic, so a wrap does no harm.  Injectable, so that lapses of minutes
// can be tested without waiting.
class TickClock {
public:
    virtual ~TickClock() = default;
    virtual uint32_t NowMs() const = 0;
};

// CLOCK_MONOTONIC, truncated to 32 bits.
class MonotonicClock final : public TickClock {
public:
    uint32_t NowMs() const override;
};

// The clock the service uses unless a test installs another.
const TickClock& SystemTickClock();

inline uint32_t TickSince(uint32_t now, uint32_t then) {
    return now - then;
}

}  // namespace norvex
