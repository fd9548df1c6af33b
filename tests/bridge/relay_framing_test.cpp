#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/client_packet.h"
#include "bridge/relay_topics.h"

namespace norvex {
namespace {

int Decode(const std::string& text, ClientPacket* out) {
    return DecodeClientPacket(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
}

std::vector<uint8_t> Bytes(const ClientPacket& p) {
    return {p.data, p.data + p.count};
}

TEST(RelayIdentity, TopicsAndLoginFollowTheGroup) {
    RelayIdentity id = BuildRelayIdentity("584032", "17", "prod9");
    EXPECT_EQ(id.statusTopic, "/group/584032/client/status");
    EXPECT_EQ(id.dataTopic, "/group/584032/client");
    EXPECT_EQ(id.hostTopic, "/group/584032/host");
    EXPECT_EQ(id.clientId, "584032");
    EXPECT_EQ(id.userName, "prod9");
    EXPECT_EQ(id.password, "NRVX17");
}

TEST(RelayIdentity, OnlyLettersAndDigitsMakeAUsableGroupId) {
    EXPECT_TRUE(IsUsableGroupId("Ab09"));
    for (const char* bad : {"", "a-b", "a_b", "a/b", "a+b", "a#", "\xC3\xA9"}) {
        EXPECT_FALSE(IsUsableGroupId(bad)) << bad;
    }
}

TEST(HostPayload, SequenceGoesFirstLowByteFirst) {
    const uint8_t data[] = {1, 2, 3};
    uint8_t out[66];
    ASSERT_EQ(EncodeHostPayload(0, data, 3, out, sizeof out), 5);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 5), (std::vector<uint8_t>{0, 0, 1, 2, 3}));
    ASSERT_EQ(EncodeHostPayload(0x1234, data, 1, out, sizeof out), 3);
    EXPECT_EQ(out[0], 0x34);
    EXPECT_EQ(out[1], 0x12);
}

TEST(HostPayload, RejectsEmptyOversizedAndShortBuffer) {
    uint8_t data[65] = {};
    uint8_t out[70];
    EXPECT_EQ(EncodeHostPayload(0, data, 0, out, sizeof out), -1);
    EXPECT_EQ(EncodeHostPayload(0, data, 65, out, sizeof out), -1);
    EXPECT_EQ(EncodeHostPayload(0, data, 64, out, 65), -1);
    EXPECT_EQ(EncodeHostPayload(0, data, 64, out, 66), 66);
}

TEST(Counters, StepSkipsZero) {
    EXPECT_EQ(NextNonZero(0), 1);
    EXPECT_EQ(NextNonZero(1), 2);
    EXPECT_EQ(NextNonZero(65534), 65535);
    EXPECT_EQ(NextNonZero(65535), 1);
}

TEST(ClientPacket, HeaderAndDataDecode) {
    ClientPacket p;
    ASSERT_EQ(Decode("0000abcd,0102,DEADbeef", &p), 4);
    EXPECT_EQ(p.senderKey, 0xABCDu);
    EXPECT_EQ(p.packetNumber, 0x102);
    EXPECT_EQ(Bytes(p), (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
}

TEST(ClientPacket, UpperAndLowerCaseGiveTheSameBytes) {
    ClientPacket a, b;
    ASSERT_EQ(Decode("00000001,0001,aBcDeF", &a), 3);
    ASSERT_EQ(Decode("00000001,0001,AbCdEf", &b), 3);
    EXPECT_EQ(Bytes(a), Bytes(b));
}

TEST(ClientPacket, DataLengthCases) {
    struct Case {
        std::string text;
        int count;
    } cases[] = {
        {"00000001,0001,", 0},                                  // header only
        {"1,2,", 0},                                            // shorter than 14: no data
        {"00000001,0001,A", 0},                                 // a lone digit is dropped
        {"00000001,0001,ABC", 1},                               // odd count: last half byte dropped
        {"00000001,0001," + std::string(200, '7'), 64},         // 100 pairs: only 64 are used
        {"00000001,0001," + std::string(128, 'f') + "zz", 64},  // digits past 64 bytes unread
    };
    for (auto& c : cases) {
        ClientPacket p;
        EXPECT_EQ(Decode(c.text, &p), c.count) << c.text;
        EXPECT_EQ(p.count, c.count) << c.text;
    }
}

TEST(ClientPacket, NumberKeepsOnlyTheLow16Bits) {
    ClientPacket p;
    ASSERT_EQ(Decode("0000001,12345,", &p), 0);
    EXPECT_EQ(p.packetNumber, 0x2345);
}

TEST(ClientPacket, MalformedMessagesAreRefusedAndLeaveTheOutputAlone) {
    for (const char* bad :
         {"", "zz,0001,00", "00000001;0001,0102", "00000001,,0102", "00000001,0001",
          "00000001,0001,0G", "00000001,0001,01 2", "0x,1,0000000000"}) {
        ClientPacket p;
        p.count = 42;
        p.senderKey = 7;
        EXPECT_EQ(Decode(bad, &p), -1) << bad;
        EXPECT_EQ(p.count, 42) << bad;
        EXPECT_EQ(p.senderKey, 7u) << bad;
    }
}

TEST(ClientPacket, HeaderScanStopsAtThePayloadEnd) {
    // "1,2" and then no comma inside the length, although the buffer goes on
    const char text[] = "1,2,";
    ClientPacket p;
    EXPECT_EQ(DecodeClientPacket(reinterpret_cast<const uint8_t*>(text), 3, &p), -1);
}

}  // namespace
}  // namespace norvex
