#include "relay_payload.h"

#include <gtest/gtest.h>

namespace relaysim {
namespace {

TEST(RelayPayload, ClientPayloadHasA14CharacterHeaderAndTwoDigitsPerByte) {
    const uint8_t data[] = {0x00, 0x0F, 0xA5, 0xFF};
    struct Case {
        uint32_t key;
        uint16_t number;
        size_t len;
        bool lower;
        const char* expected;
    };
    for (const Case& c : {Case{7, 1, 4, false, "00000007,0001,000FA5FF"},
                          Case{0xDEADBEEF, 0xFFFF, 2, true, "deadbeef,ffff,000f"},
                          Case{1, 0, 0, false, "00000001,0000,"}}) {
        std::string p = FormatClientPayload(c.key, c.number, data, c.len, c.lower);
        EXPECT_EQ(p, c.expected);
        EXPECT_EQ(p.size(), 14 + 2 * c.len);
    }
}

TEST(RelayPayload, HostPayloadIsALittleEndianSequenceAndTheBytes) {
    const uint8_t p[] = {0x34, 0x12, 'a', 'b'};
    HostData d;
    ASSERT_TRUE(ParseHostPayload(p, sizeof p, d));
    EXPECT_EQ(d.sequence, 0x1234);
    EXPECT_EQ(d.bytes, (std::vector<uint8_t>{'a', 'b'}));
    ASSERT_TRUE(ParseHostPayload(p, 2, d));
    EXPECT_TRUE(d.bytes.empty());
    EXPECT_FALSE(ParseHostPayload(p, 1, d));
}

TEST(RelayPayload, PacketNumbersSkipZeroAndStatusTextsMatchTheirFormats) {
    EXPECT_EQ(NextPacketNumber(1), 2);
    EXPECT_EQ(NextPacketNumber(65535), 1);
    EXPECT_EQ(FormatPingAck(12), "pingack:12");
    EXPECT_EQ(FormatBaseInfo(3, "abc", 1, -2, "8986", "86"), "baseinfo:3,abc,1,-2,8986,86,");
}

}  // namespace
}  // namespace relaysim
