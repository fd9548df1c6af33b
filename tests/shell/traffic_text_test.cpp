// The stats line and the trace line, as a user reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/metrics_text.h"
#include "shell/stats_line.h"
#include "shell/trace_line.h"

namespace norvex {
namespace {

constexpr int64_t kNowMs = 1796838901000;  // 2026-12-09T17:55:01Z

CounterSnapshot Counters(uint64_t toBytes, uint64_t toPkts, uint64_t fromBytes, uint64_t fromPkts,
                         uint64_t dup, uint64_t late, uint64_t unheard, uint64_t reconnects,
                         int64_t lastConnectMs, bool connected) {
    CounterSnapshot s;
    s.serialBytesToGroup = toBytes;
    s.packetsToGroup = toPkts;
    s.serialBytesFromGroup = fromBytes;
    s.packetsFromGroup = fromPkts;
    s.duplicatesDropped = dup;
    s.lateDropped = late;
    s.bytesNoListener = unheard;
    s.reconnects = reconnects;
    s.lastConnectUnixMs = lastConnectMs;
    s.connected = connected;
    s.pubAcks = 999;        // not part of the line
    s.subscriptions = 777;  // not part of the line
    return s;
}

TEST(StatsLine, ShowsEveryCounterAndTheTimeSinceTheLastConnect) {
    struct Case {
        CounterSnapshot counters;
        const char* line;
    };
    const Case cases[] = {
        {Counters(0, 0, 0, 0, 0, 0, 0, 0, 0, false),
         "stats: to group 0 B in 0 pkt; from group 0 B in 0 pkt; dropped 0 duplicate, 0 late, 0 B "
         "with no listener; 0 reconnects; never connected"},
        {Counters(1234, 20, 567, 9, 1, 2, 300, 4, kNowMs - 35999, true),
         "stats: to group 1234 B in 20 pkt; from group 567 B in 9 pkt; dropped 1 duplicate, 2 "
         "late, "
         "300 B with no listener; 4 reconnects; last connect 35 s ago"},
        {Counters(18446744073709551615ull, 1, 2, 3, 4, 5, 6, 7, kNowMs - 3600000, false),
         "stats: to group 18446744073709551615 B in 1 pkt; from group 2 B in 3 pkt; dropped 4 "
         "duplicate, 5 late, 6 B with no listener; 7 reconnects; last connect 3600 s ago, now "
         "disconnected"},
        // the wall clock was set back past the connect
        {Counters(0, 0, 0, 0, 0, 0, 0, 0, kNowMs + 5000, true),
         "stats: to group 0 B in 0 pkt; from group 0 B in 0 pkt; dropped 0 duplicate, 0 late, 0 B "
         "with no listener; 0 reconnects; last connect 0 s ago"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatStatsLine(c.counters, kNowMs), c.line);
        EXPECT_EQ("stats: " + FormatCounterSummary(c.counters, kNowMs), c.line);
    }
}

// The request/response timings' counts join the drops once they happened, in the line and in
// the metrics file.
TEST(StatsLine, GivenUpAndStaleCountsShowOnceTheyHappen) {
    CounterSnapshot c = Counters(1, 1, 2, 2, 0, 1, 0, 0, 0, false);
    c.missingGivenUp = 3;
    c.staleBytesDropped = 40;
    EXPECT_EQ(FormatStatsLine(c, kNowMs),
              "stats: to group 1 B in 1 pkt; from group 2 B in 2 pkt; dropped 0 duplicate, 1 late, "
              "0 B with no listener, 3 missing given up, 40 B stale; 0 reconnects; never "
              "connected");
    MetricsInput in;
    in.counters = c;
    const std::string text = FormatMetrics(in);
    EXPECT_NE(text.find("\nnorvex_missing_given_up_total 3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nnorvex_stale_dropped_bytes_total 40\n"), std::string::npos) << text;
}

TEST(TraceLine, AModbusExchangeReadsLineByLine) {
    const std::vector<uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    const std::vector<uint8_t> reply = {0x01, 0x03, 0x04, 0x41, 0x42, 0x7E, 0x7F, 0x20, 0x0D};
    const std::vector<uint8_t> nothing;
    struct Case {
        TraceDirection direction;
        int64_t unixUs;
        uint32_t key;
        int32_t devid;
        uint16_t sequence;
        const std::vector<uint8_t>* bytes;
        const char* line;
    };
    const Case cases[] = {
        {TraceDirection::kToGroup, kNowMs * 1000 + 123456, 0, -1, 12, &request,
         "2026-12-09T17:55:01.123456Z to-group   seq 12 len 8: 01 03 00 00 00 0A C5 CD "
         "|........|"},
        {TraceDirection::kFromGroup, kNowMs * 1000 + 140211, 0xA1B2, 1, 7, &reply,
         "2026-12-09T17:55:01.140211Z from-group key 0000A1B2 dev 1 seq 7 len 9: 01 03 04 41 42 "
         "7E 7F 20 0D |...AB~. .|"},
        {TraceDirection::kFromGroup, kNowMs * 1000, 0xFFFFFFFF, -1, 65535, &reply,
         "2026-12-09T17:55:01.000000Z from-group key FFFFFFFF dev ? seq 65535 len 9: 01 03 04 41 "
         "42 7E 7F 20 0D |...AB~. .|"},
        {TraceDirection::kToGroup, 0, 0, -1, 0, &nothing,
         "1970-01-01T00:00:00.000000Z to-group   seq 0 len 0:  ||"},
        {TraceDirection::kToGroup, -1, 0, -1, 1, &nothing,
         "1969-12-31T23:59:59.999999Z to-group   seq 1 len 0:  ||"},
    };
    for (const Case& c : cases) {
        TraceRecord r;
        r.direction = c.direction;
        r.unixUs = c.unixUs;
        r.senderKey = c.key;
        r.devid = c.devid;
        r.sequence = c.sequence;
        r.data = c.bytes->data();
        r.length = c.bytes->size();
        EXPECT_EQ(FormatTraceLine(r), c.line);
    }
}

}  // namespace
}  // namespace norvex
