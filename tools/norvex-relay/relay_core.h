#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace norvex::relay {

// The host numbers its payloads 0 after every subscription, then 1, 2, ..., 65535, 1, ...:
// a 0 later on is a host restart (or a new subscription), any other jump a lost payload.
class HostSequence {
public:
    void Note(uint16_t sequence);
    uint64_t Gaps() const { return gaps_; }
    uint64_t Restarts() const { return restarts_; }

private:
    bool seen_ = false;
    uint16_t last_ = 0;
    uint64_t gaps_ = 0;
    uint64_t restarts_ = 0;
};

// Numbers of our client-data packets: 0 first, which makes the host forget what it expected of
// this sender (a restarted relay is heard at once), then 1..65535, 1, ... (never 0 again).
class PacketCounter {
public:
    uint16_t Take();

private:
    uint16_t next_ = 0;
};

// 3.5 character times at the line's speed (start, data, parity and stop bits), in whole
// milliseconds rounded up, at least 1.
uint32_t GatherIdleMs(uint32_t baud, int bitsPerCharacter);

// Serial input waiting to be published: it goes once the line has been quiet for idleMs, or
// in 64-byte pieces as soon as 64 are there.  Times are TickClock milliseconds.
class SerialGather {
public:
    static constexpr size_t kPacketBytes = 64;
    explicit SerialGather(uint32_t idleMs) : idleMs_(idleMs) {}

    // Adds bytes read at nowMs; every full 64-byte piece is appended to ready.
    void Add(const uint8_t* data, size_t n, uint32_t nowMs,
             std::vector<std::vector<uint8_t>>& ready);
    // The rest, once the line has been idle long enough; empty before that.
    std::vector<uint8_t> TakeIfIdle(uint32_t nowMs);
    // Milliseconds until TakeIfIdle gives something; -1 when nothing waits.
    int MsLeft(uint32_t nowMs) const;

private:
    uint32_t idleMs_;
    uint32_t lastInputMs_ = 0;
    std::vector<uint8_t> pending_;
};

}  // namespace norvex::relay
