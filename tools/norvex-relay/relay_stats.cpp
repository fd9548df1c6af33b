#include "relay_stats.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace norvex::relay {

std::string FormatRelayStats(const RelayCounters& c, int64_t nowUnixMs) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "stats: to group %" PRIu64 " B in %" PRIu64 " pkt; from group %" PRIu64
                  " B in %" PRIu64 " pkt; host %" PRIu64 " gaps, %" PRIu64
                  " restarts; dropped %" PRIu64 " pkt with no broker, %" PRIu64
                  " B with no line, %" PRIu64 " by the test hook; %" PRIu64
                  " line reopens; %" PRIu64 " reconnects; ",
                  c.bytesToGroup, c.packetsToGroup, c.bytesFromGroup, c.packetsFromGroup,
                  c.hostGaps, c.hostRestarts, c.notPublished, c.hostBytesNoLine, c.hookSkipped,
                  c.lineReopens, c.reconnects);
    std::string line = buf;
    if (c.lastConnectUnixMs <= 0) return line + "never connected";
    int64_t seconds = std::max<int64_t>(0, (nowUnixMs - c.lastConnectUnixMs) / 1000);
    line += "last connect " + std::to_string(seconds) + " s ago";
    if (!c.connected) line += ", now disconnected";
    return line;
}

}  // namespace norvex::relay
