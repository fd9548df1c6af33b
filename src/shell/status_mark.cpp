#include "shell/status_mark.h"

#include "bridge/tick_clock.h"

namespace norvex {

std::string_view RelayStatusMark(uint32_t nowMs, uint32_t lastHeardTick, uint32_t offlineAfterMs) {
    if (lastHeardTick == kNeverHeard) return {};
    return TickSince(nowMs, lastHeardTick) >= offlineAfterMs ? kRelayOfflineMark : kRelayOnlineMark;
}

}  // namespace norvex
