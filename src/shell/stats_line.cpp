#include "shell/stats_line.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace norvex {

std::string FormatCounterSummary(const CounterSnapshot& c, int64_t nowUnixMs) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "to group %" PRIu64 " B in %" PRIu64 " pkt; from group %" PRIu64 " B in %" PRIu64
                  " pkt; dropped %" PRIu64 " duplicate, %" PRIu64 " late, %" PRIu64
                  " B with no listener",
                  c.serialBytesToGroup, c.packetsToGroup, c.serialBytesFromGroup,
                  c.packetsFromGroup, c.duplicatesDropped, c.lateDropped, c.bytesNoListener);
    std::string line = buf;
    // only the request/response timings make these happen often: the usual line stays short
    if (c.missingGivenUp > 0) line += ", " + std::to_string(c.missingGivenUp) + " missing given up";
    if (c.staleBytesDropped > 0) line += ", " + std::to_string(c.staleBytesDropped) + " B stale";
    line += "; " + std::to_string(c.reconnects) + " reconnects; ";
    if (c.lastConnectUnixMs <= 0) return line + "never connected";
    // a clock set back must not show a negative age
    int64_t seconds = std::max<int64_t>(0, (nowUnixMs - c.lastConnectUnixMs) / 1000);
    line += "last connect " + std::to_string(seconds) + " s ago";
    if (!c.connected) line += ", now disconnected";
    return line;
}

std::string FormatStatsLine(const CounterSnapshot& counters, int64_t nowUnixMs) {
    return "stats: " + FormatCounterSummary(counters, nowUnixMs);
}

}  // namespace norvex
