#include "relay_core.h"

#include <algorithm>
#include <utility>

#include "bridge/relay_topics.h"
#include "common/deadline.h"

namespace norvex::relay {

void HostSequence::Note(uint16_t sequence) {
    if (seen_ && sequence == 0) {
        ++restarts_;
    } else if (seen_ && sequence != NextNonZero(last_)) {
        ++gaps_;
    }
    seen_ = true;
    last_ = sequence;
}

uint16_t PacketCounter::Take() {
    uint16_t n = next_;
    next_ = NextNonZero(next_);
    return n;
}

uint32_t GatherIdleMs(uint32_t baud, int bitsPerCharacter) {
    if (baud == 0) return 1;
    // 3.5 x bits x 1000 / baud, rounded up
    uint64_t num = 35ull * static_cast<uint64_t>(bitsPerCharacter) * 100ull;
    uint64_t ms = (num + baud - 1) / baud;
    return static_cast<uint32_t>(std::max<uint64_t>(ms, 1));
}

void SerialGather::Add(const uint8_t* data, size_t n, uint32_t nowMs,
                       std::vector<std::vector<uint8_t>>& ready) {
    if (n == 0) return;
    lastInputMs_ = nowMs;
    pending_.insert(pending_.end(), data, data + n);
    size_t at = 0;
    while (pending_.size() - at >= kPacketBytes) {
        ready.emplace_back(pending_.begin() + static_cast<long>(at),
                           pending_.begin() + static_cast<long>(at + kPacketBytes));
        at += kPacketBytes;
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(at));
}

std::vector<uint8_t> SerialGather::TakeIfIdle(uint32_t nowMs) {
    if (pending_.empty() || nowMs - lastInputMs_ < idleMs_) return {};
    return std::exchange(pending_, {});
}

int SerialGather::MsLeft(uint32_t nowMs) const {
    if (pending_.empty()) return -1;
    return static_cast<int>(TickMsLeft(nowMs, lastInputMs_, idleMs_));
}

}  // namespace norvex::relay
