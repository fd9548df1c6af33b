// Outgoing packets, byte for byte, and the refusals that must leave the chain without a packet.
#include <gtest/gtest.h>

#include <string>

#include "wire_fixture.h"

namespace norvex::test {
namespace {

Bytes Ascii(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
int ChunkCount(const mqtt::PacketChain& c) {
    int n = 0;
    for (const mqtt::PacketChunk* p = c.head; p; p = p->next) ++n;
    return n;
}

class Packer : public ::testing::Test {
protected:
    ~Packer() override { mqtt::ReleaseChain(&chain); }
    void ExpectNoPacket() {
        EXPECT_EQ(chain.head, nullptr);
        EXPECT_EQ(chain.total, 0u);
    }
    mqtt::PacketChain chain{};
};

struct LengthCase {
    uint32_t value;
    const char* hex;
};

TEST(RemainingLength, EncodesOneToFourBytesAndRefusesMore) {
    const LengthCase cases[] = {
        {0, "00"},
        {127, "7F"},
        {128, "80 01"},
        {16383, "FF 7F"},
        {16384, "80 80 01"},
        {2097151, "FF FF 7F"},
        {2097152, "80 80 80 01"},
        {268435455, "FF FF FF 7F"},
    };
    for (const LengthCase& c : cases) {
        uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
        int32_t n = mqtt::EncodeRemainingLength(out, c.value);
        ASSERT_GT(n, 0) << c.value;
        EXPECT_EQ(ToHex(out, static_cast<size_t>(n)), c.hex) << c.value;
    }
    uint8_t out[4] = {};
    EXPECT_EQ(mqtt::EncodeRemainingLength(out, 268435456), mqtt::kErrTooLong);
}

TEST_F(Packer, ConnectLayout) {
    const uint8_t password[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_EQ(mqtt::BuildConnect(&chain, "abc12", "user01", password, 9), 0);
    Bytes expected =
        Cat({Hex("10 24 00 04"), Ascii("MQTT"), Hex("04 C2 00 78 00 05"), Ascii("abc12"),
             Hex("00 06"), Ascii("user01"), Hex("00 09 01 02 03 04 05 06 07 08 09")});
    EXPECT_EQ(ToHex(ChainBytes(chain)), ToHex(expected));
    EXPECT_EQ(chain.total, 38u);
    EXPECT_EQ(ChunkCount(chain), 3);
}

TEST_F(Packer, ConnectWithEmptyClientIdAndPassword) {
    const uint8_t none = 0;
    ASSERT_EQ(mqtt::BuildConnect(&chain, "", "", &none, 0), 0);
    EXPECT_EQ(ToHex(ChainBytes(chain)), "10 10 00 04 4D 51 54 54 04 C2 00 78 00 00 00 00 00 00");
}

TEST_F(Packer, ConnectRefusals) {
    const uint8_t pw[2] = {'p', 'w'};
    struct Case {
        const char* id;
        const char* user;
        const uint8_t* password;
        int32_t code;
    };
    const Case cases[] = {
        {"dev-1", "u", pw, mqtt::kErrBadParameter},
        {"dev_1", "u", pw, mqtt::kErrBadParameter},
        {"d\xC3\xA9v", "u", pw, mqtt::kErrBadParameter},
        {nullptr, "u", pw, mqtt::kErrBadParameter},
        {"dev1", nullptr, pw, mqtt::kErrBadParameter},
        {"dev1", "u", nullptr, mqtt::kErrBadParameter},
        {"dev1", "\xC3\x28", pw, mqtt::kErrNotUtf8},
        {"dev1", "\xE4\xB8", pw, mqtt::kErrNotUtf8},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mqtt::BuildConnect(&chain, c.id, c.user, c.password, 2), c.code)
            << (c.id ? c.id : "null");
        ExpectNoPacket();
    }
    std::string huge(65536, 'a');  // a 16-bit length field cannot carry it
    EXPECT_EQ(mqtt::BuildConnect(&chain, "dev1", huge.c_str(), pw, 2), mqtt::kErrBadParameter);
    ExpectNoPacket();
    // the chain's pool is still good for a whole packet afterwards
    EXPECT_EQ(mqtt::BuildConnect(&chain, "dev1", "u", pw, 2), 0);
    EXPECT_EQ(ChunkCount(chain), 3);
}

TEST_F(Packer, SubscribeLayoutWithFlagsOf311) {
    const std::string f1 = "/group/1234567/hosts";       // 20 bytes
    const std::string f2 = "/group/1234567/client/+/#";  // 25 bytes, wildcards allowed
    const char* const filters[2] = {f1.c_str(), f2.c_str()};
    ASSERT_EQ(mqtt::BuildSubscribe(&chain, filters), 0);
    Bytes expected =
        Cat({Hex("82 35 00 01 00 14"), Ascii(f1), Hex("02 00 19"), Ascii(f2), Hex("02")});
    EXPECT_EQ(ToHex(ChainBytes(chain)), ToHex(expected));
    EXPECT_EQ(chain.total, 55u);
    EXPECT_EQ(ChunkCount(chain), 2);
}

TEST_F(Packer, SubscribeRefusalsFirstFailingFilterDecides) {
    struct Case {
        const char* f1;
        const char* f2;
        int32_t code;
    };
    const Case cases[] = {
        {nullptr, "a", mqtt::kErrBadParameter},        {"a", nullptr, mqtt::kErrBadParameter},
        {nullptr, "\xC3\x28", mqtt::kErrBadParameter}, {"\xC3\x28", nullptr, mqtt::kErrNotUtf8},
        {"a", "\xED\xA0\x80", mqtt::kErrNotUtf8},
    };
    for (const Case& c : cases) {
        const char* const filters[2] = {c.f1, c.f2};
        EXPECT_EQ(mqtt::BuildSubscribe(&chain, filters), c.code);
        ExpectNoPacket();
    }
    EXPECT_EQ(mqtt::BuildSubscribe(&chain, nullptr), mqtt::kErrBadParameter);
    const char* const empty[2] = {"", ""};  // empty filters are not refused here
    EXPECT_EQ(mqtt::BuildSubscribe(&chain, empty), 0);
    EXPECT_EQ(ToHex(ChainBytes(chain)), "82 08 00 01 00 00 02 00 00 02");
}

TEST_F(Packer, PublishLayout) {
    const std::string topic = "/group/123/host1";  // 16 bytes
    Bytes payload(66);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(mqtt::BuildPublish(&chain, 258, topic.c_str(), payload.data(), 66), 0);
    Bytes expected = Cat({Hex("32 56 00 10"), Ascii(topic), Hex("01 02"), payload});
    EXPECT_EQ(ToHex(ChainBytes(chain)), ToHex(expected));
    EXPECT_EQ(ChunkCount(chain), 3);
}

TEST_F(Packer, PublishWithEmptyPayloadHasTwoChunks) {
    ASSERT_EQ(mqtt::BuildPublish(&chain, 1, "t/x", nullptr, 0), 0);
    EXPECT_EQ(ToHex(ChainBytes(chain)), "32 07 00 03 74 2F 78 00 01");
    EXPECT_EQ(ChunkCount(chain), 2);
}

TEST_F(Packer, PublishLargePayloadTakesThreeLengthBytesAndItsOwnBlock) {
    Bytes payload(20000, 0xA5);
    ASSERT_EQ(mqtt::BuildPublish(&chain, 65535, "t", payload.data(), 20000), 0);
    Bytes wire = ChainBytes(chain);
    ASSERT_EQ(wire.size(), 1u + 3u + 20005u);
    EXPECT_EQ(ToHex(wire.data(), 9), "32 A5 9C 01 00 01 74 FF FF");  // 20005 = 0x4E25
    EXPECT_EQ(wire.back(), 0xA5);
}

TEST_F(Packer, PublishRefusals) {
    const uint8_t p[1] = {1};
    struct Case {
        uint16_t id;
        const char* topic;
        const uint8_t* payload;
        uint32_t length;
        int32_t code;
    };
    const Case cases[] = {
        {0, "a/b", p, 1, mqtt::kErrBadParameter},     {1, "a/+/b", p, 1, mqtt::kErrBadParameter},
        {1, "a/#", p, 1, mqtt::kErrBadParameter},     {1, nullptr, p, 1, mqtt::kErrBadParameter},
        {1, "a", nullptr, 1, mqtt::kErrBadParameter}, {1, "\xC3\x28", p, 1, mqtt::kErrNotUtf8},
        {1, "a", p, 268435455u, mqtt::kErrTooLong},  // refused before anything is copied
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mqtt::BuildPublish(&chain, c.id, c.topic, c.payload, c.length), c.code);
        ExpectNoPacket();
    }
    EXPECT_EQ(mqtt::BuildPublish(&chain, 9, "", p, 1), 0);  // an empty topic passes the packer
    EXPECT_EQ(ToHex(ChainBytes(chain)), "32 05 00 00 00 09 01");
}

TEST_F(Packer, PingReqAndAcknowledgements) {
    ASSERT_EQ(mqtt::BuildPingReq(&chain), 0);
    EXPECT_EQ(ToHex(ChainBytes(chain)), "C0 00");
    mqtt::ReleaseChain(&chain);
    const std::pair<uint8_t, const char*> acks[] = {{mqtt::kPubAck, "40 02 12 34"},
                                                    {mqtt::kPubRec, "50 02 12 34"},
                                                    {mqtt::kPubRel, "62 02 12 34"},
                                                    {mqtt::kPubComp, "70 02 12 34"}};
    for (const auto& [byte0, hex] : acks) {
        ASSERT_EQ(mqtt::BuildAck(&chain, byte0, 0x1234), 0);
        EXPECT_EQ(ToHex(ChainBytes(chain)), hex);
        mqtt::ReleaseChain(&chain);
    }
}

}  // namespace
}  // namespace norvex::test
