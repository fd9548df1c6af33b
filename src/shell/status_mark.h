#pragma once
#include <cstdint>
#include <string_view>

#include "bridge/device_table.h"

namespace norvex {

// Relays ping every 90 s; missing two and a half of them means the relay is gone.
inline constexpr uint32_t kRelayOfflineAfterMs = 225000;

inline constexpr std::string_view kRelayOnlineMark = "√";
inline constexpr std::string_view kRelayOfflineMark = "×";
inline constexpr std::string_view kRelayNeverHeardMark = "--";

// The "status" cell the one-second timer writes for a relay, or an empty view when the row is
// to be left alone (never heard).  The lapse is taken in unsigned 32-bit arithmetic, so a wrap
// of the tick counter does no harm.
std::string_view RelayStatusMark(uint32_t nowMs, uint32_t lastHeardTick,
                                 uint32_t offlineAfterMs = kRelayOfflineAfterMs);

}  // namespace norvex
