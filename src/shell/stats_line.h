#pragma once
#include <cstdint>
#include <string>

#include "bridge/engine_counters.h"

namespace norvex {

// The counters in one line, for a status line:
//   to group 1234 B in 20 pkt; from group 567 B in 9 pkt; dropped 1 duplicate, 0 late,
//   0 B with no listener; 2 reconnects; last connect 35 s ago
// (one line; "never connected" before the first connect, ", now disconnected" after a loss;
// ", 3 missing given up" and ", 40 B stale" follow "no listener" once those happened).
// Bytes are serial data bytes: no MQTT framing, no sequence numbers.
std::string FormatCounterSummary(const CounterSnapshot& counters, int64_t nowUnixMs);

// "stats: " and the summary: what norvexd prints on stderr.
std::string FormatStatsLine(const CounterSnapshot& counters, int64_t nowUnixMs);

}  // namespace norvex
