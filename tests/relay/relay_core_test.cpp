#include "relay_core.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "relay_payload.h"

namespace norvex::relay {
namespace {

TEST(HostSequence, CountsGapsAndRestarts) {
    struct Case {
        std::vector<uint16_t> sequences;
        uint64_t gaps;
        uint64_t restarts;
    };
    for (const Case& c : {
             Case{{0, 1, 2, 3}, 0, 0}, Case{{0, 1, 3, 4}, 1, 0},  // 2 lost
             Case{{0, 1, 2, 0, 1}, 0, 1},                         // host resubscribed
             Case{{65534, 65535, 1}, 0, 0},                       // 0 is skipped after a wrap
             Case{{65535, 0}, 0, 1},                              // ... so a 0 there is a restart
             Case{{5, 5}, 1, 0},                                  // a repeat is out of order too
             Case{{7}, 0, 0},  // the first one heard sets the count
         }) {
        HostSequence s;
        for (uint16_t n : c.sequences) s.Note(n);
        EXPECT_EQ(s.Gaps(), c.gaps) << ::testing::PrintToString(c.sequences);
        EXPECT_EQ(s.Restarts(), c.restarts) << ::testing::PrintToString(c.sequences);
    }
}

TEST(HostSequence, PayloadLosesItsSequenceAndKeepsTheBytes) {
    const uint8_t payload[] = {0x02, 0x01, 0x00, 0xFF, 0x0D};
    relaysim::HostData d;
    ASSERT_TRUE(relaysim::ParseHostPayload(payload, sizeof payload, d));
    EXPECT_EQ(d.sequence, 0x0102);
    EXPECT_EQ(d.bytes, (std::vector<uint8_t>{0x00, 0xFF, 0x0D}));
    EXPECT_FALSE(relaysim::ParseHostPayload(payload, 1, d));
}

TEST(PacketCounter, StartsAtZeroAndNeverReturnsToIt) {
    PacketCounter c;
    EXPECT_EQ(c.Take(), 0);  // a restarted relay resets the host's expectation
    EXPECT_EQ(c.Take(), 1);
    for (int i = 2; i < 65535; ++i) c.Take();
    EXPECT_EQ(c.Take(), 65535);
    EXPECT_EQ(c.Take(), 1);
    PacketCounter restarted;
    EXPECT_EQ(restarted.Take(), 0);
}

TEST(GatherIdle, IsThreeAndAHalfCharacterTimesRoundedUpAndAtLeastOneMs) {
    struct Case {
        uint32_t baud;
        int bits;
        uint32_t ms;
    };
    for (const Case& c : {Case{9600, 11, 5},  // 4.01 ms
                          Case{19200, 11, 3}, Case{1200, 10, 30}, Case{115200, 10, 1},
                          Case{921600, 10, 1}, Case{0, 10, 1}}) {
        EXPECT_EQ(GatherIdleMs(c.baud, c.bits), c.ms) << c.baud << " baud, " << c.bits << " bits";
    }
}

TEST(SerialGather, WaitsForAQuietLineMeasuredFromTheLastByte) {
    SerialGather g(5);
    std::vector<std::vector<uint8_t>> ready;
    const uint8_t a[] = {1, 2, 3};
    g.Add(a, 3, 1000, ready);
    EXPECT_EQ(g.MsLeft(1000), 5);
    EXPECT_TRUE(g.TakeIfIdle(1004).empty());
    g.Add(a, 3, 1004, ready);  // more input: the quiet time starts again
    EXPECT_TRUE(g.TakeIfIdle(1008).empty());
    EXPECT_EQ(g.TakeIfIdle(1009), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3}));
    EXPECT_TRUE(ready.empty());
    EXPECT_EQ(g.MsLeft(1009), -1);
    // across the 32-bit wrap of the clock
    g.Add(a, 1, 0xFFFFFFFE, ready);
    EXPECT_TRUE(g.TakeIfIdle(2).empty());
    EXPECT_EQ(g.TakeIfIdle(3).size(), 1u);
}

// 130 bytes read at once: two full packets at once, the two left after the quiet time; the
// numbers follow on from each other and the text is what the host decodes.
TEST(SerialGather, CutsAt64BytesAndNumbersThePackets) {
    std::vector<uint8_t> in(130);
    std::iota(in.begin(), in.end(), uint8_t{0});
    SerialGather g(2);
    PacketCounter numbers;
    std::vector<std::vector<uint8_t>> ready;
    g.Add(in.data(), in.size(), 50, ready);
    ASSERT_EQ(ready.size(), 2u);
    ready.push_back(g.TakeIfIdle(52));
    std::vector<std::string> texts;
    for (const auto& p : ready)
        texts.push_back(relaysim::FormatClientPayload(0x2A, numbers.Take(), p.data(), p.size()));
    EXPECT_EQ(texts[0].substr(0, 18), "0000002A,0000,0001");
    EXPECT_EQ(texts[0].size(), 14u + 128u);
    EXPECT_EQ(texts[1].substr(0, 18), "0000002A,0001,4041");
    EXPECT_EQ(texts[1].substr(texts[1].size() - 2), "7F");
    EXPECT_EQ(texts[2], "0000002A,0002,8081");
}

}  // namespace
}  // namespace norvex::relay
