#pragma once
#include <cstdint>
#include <string>

namespace norvex::relay {

struct RelayCounters {
    uint64_t bytesToGroup = 0;  // serial bytes published (no framing)
    uint64_t packetsToGroup = 0;
    uint64_t bytesFromGroup = 0;  // host bytes written to the line
    uint64_t packetsFromGroup = 0;
    uint64_t hostGaps = 0;         // host sequence numbers missed
    uint64_t hostRestarts = 0;     // host sequence back at 0
    uint64_t notPublished = 0;     // client-data packets that found no connection
    uint64_t hostBytesNoLine = 0;  // host bytes that found no line, or one too far behind
    uint64_t hookSkipped = 0;      // packet numbers used up by the test hook
    uint64_t lineReopens = 0;
    uint64_t reconnects = 0;
    int64_t lastConnectUnixMs = 0;
    bool connected = false;
};

// "stats: to group 12 B in 1 pkt; from group 8 B in 1 pkt; host 0 gaps, 0 restarts; dropped
// 0 pkt with no broker, 0 B with no line, 0 by
// the test hook; 0 line reopens; 1 reconnects; last connect 3 s ago"
std::string FormatRelayStats(const RelayCounters& c, int64_t nowUnixMs);

}  // namespace norvex::relay
