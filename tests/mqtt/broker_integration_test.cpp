// The client against a real mosquitto on loopback: handshake, our QoS 1 PUBLISH, and messages of
// every QoS from an independent publisher, read whole and split into small reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "broker_link.h"
#include "support/mosquitto_broker.h"

namespace norvex::test {
namespace {

using std::chrono::seconds;

const char* const kHostFilters[2] = {"/group/G1/client/status", "/group/G1/client"};
const char* const kPeerFilters[2] = {"/group/G1/host", "/group/G1/unused"};

// Publishes one message with the broker's own command-line client and waits for it to finish.
bool ExternalPublish(const MosquittoBroker& broker, int qos, const std::string& topic,
                     const std::string& message, bool retain = false) {
    std::vector<std::string> args = {"-q", std::to_string(qos), "-t", topic, "-m", message};
    if (retain) args.push_back("-r");
    return broker.Publish(args);
}

std::string AsciiHex(const std::string& s) {
    return ToHex(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// The packet id of the first logged PUBLISH whose line ends with `tail`.
std::optional<uint16_t> PublishId(const BrokerLink& link, const std::string& tail) {
    for (const std::string& c : link.wire.calls) {
        if (c.rfind("publish ", 0) == 0 && c.size() >= tail.size() &&
            c.compare(c.size() - tail.size(), tail.size(), tail) == 0) {
            return static_cast<uint16_t>(std::stoul(c.substr(8)));
        }
    }
    return std::nullopt;
}

std::string IdHex(uint16_t id) {
    uint8_t b[2] = {static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id)};
    return ToHex(b, 2);
}

bool Wrote(const BrokerLink& link, const std::string& hex) {
    const auto& w = link.wire.writes;
    return std::any_of(w.begin(), w.end(), [&](const Bytes& b) { return ToHex(b) == hex; });
}

class BrokerFlows : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override { ASSERT_TRUE(broker.Start()) << broker.LogFile(); }
    MosquittoBroker broker;
};

TEST_P(BrokerFlows, HandshakeOwnPublishAndEveryQosFromAnotherClient) {
    BrokerLink host(broker.Port(), GetParam());
    BrokerLink peer(broker.Port(), GetParam());
    ASSERT_TRUE(host.Connected() && peer.Connected());
    ASSERT_TRUE(host.Handshake("norvexHost", kHostFilters)) << host.lastResult;
    ASSERT_TRUE(peer.Handshake("norvexPeer", kPeerFilters)) << peer.lastResult;

    // our QoS 1 PUBLISH: acknowledged to us, delivered intact to a subscriber
    const uint8_t payload[] = {0x05, 0x00, 0x00, 0xFF, 0x7F, 0x80, 0x01};
    mqtt::PacketChain chain{};
    ASSERT_EQ(mqtt::BuildPublish(&chain, 300, "/group/G1/host", payload, sizeof payload), 0);
    ASSERT_TRUE(host.Send(&chain));
    EXPECT_TRUE(host.PumpUntil([&] { return host.Saw("puback 300"); }, seconds(10)));
    const std::string delivered = "[/group/G1/host] [05 00 00 FF 7F 80 01] dup=0 qos=1";
    ASSERT_TRUE(
        peer.PumpUntil([&] { return PublishId(peer, delivered).has_value(); }, seconds(10)));
    EXPECT_TRUE(Wrote(peer, "40 02 " + IdHex(*PublishId(peer, delivered))));

    for (int qos = 0; qos <= 2; ++qos) {
        const std::string message = "relay-data-q" + std::to_string(qos);
        ASSERT_TRUE(ExternalPublish(broker, qos, "/group/G1/client", message));
        const std::string tail =
            "[/group/G1/client] [" + AsciiHex(message) + "] dup=0 qos=" + std::to_string(qos);
        ASSERT_TRUE(host.PumpUntil([&] { return PublishId(host, tail).has_value(); }, seconds(10)))
            << "qos " << qos << " result " << host.lastResult;
        uint16_t id = *PublishId(host, tail);
        if (qos == 0) {
            EXPECT_EQ(id, 0);
        } else if (qos == 1) {
            EXPECT_TRUE(Wrote(host, "40 02 " + IdHex(id)));
        } else {
            EXPECT_TRUE(Wrote(host, "50 02 " + IdHex(id)));
            const std::string rel = "pubrel " + std::to_string(id);
            EXPECT_TRUE(host.PumpUntil([&] { return host.Saw(rel); }, seconds(10)));
            EXPECT_TRUE(Wrote(host, "70 02 " + IdHex(id)));
        }
    }

    // the broker found nothing to object to: the connection still answers a PINGREQ
    ASSERT_EQ(mqtt::BuildPingReq(&chain), 0);
    ASSERT_TRUE(host.Send(&chain));
    EXPECT_TRUE(host.PumpUntil([&] { return host.Saw("pingresp"); }, seconds(10)));
}

TEST_P(BrokerFlows, RetainedMessageHandedToANewSubscriberIsAccepted) {
    ASSERT_TRUE(ExternalPublish(broker, 1, "/group/G1/client", "kept", true));
    BrokerLink host(broker.Port(), GetParam());
    ASSERT_TRUE(host.Connected());
    ASSERT_TRUE(host.Handshake("norvexHost", kHostFilters)) << host.lastResult;
    const std::string tail = "[/group/G1/client] [" + AsciiHex("kept") + "] dup=0 qos=1";
    ASSERT_TRUE(host.PumpUntil([&] { return PublishId(host, tail).has_value(); }, seconds(10)))
        << host.lastResult;
    EXPECT_TRUE(Wrote(host, "40 02 " + IdHex(*PublishId(host, tail))));
}

INSTANTIATE_TEST_SUITE_P(ReadSizes, BrokerFlows, ::testing::Values(4096, 3, 1),
                         [](const auto& p) { return "read" + std::to_string(p.param); });

}  // namespace
}  // namespace norvex::test
