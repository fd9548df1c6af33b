// The engine between a real pty and a private mosquitto, with libmosquitto playing the relays.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "support/net_util.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class EngineRelay : public EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        ASSERT_TRUE(broker.Start());
        UseBroker(broker.Port());
        ASSERT_TRUE(relay.Connect(broker.Port(), Topic("/host")));
    }

    // A relay data packet: 14-character header, then hex.
    static std::string DataPacket(uint32_t key, uint16_t number, const Bytes& data) {
        char head[16];
        std::snprintf(head, sizeof head, "%08X,%04X,", key, number);
        std::string s = head;
        for (uint8_t b : data) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", b);
            s += hex;
        }
        return s;
    }

    MosquittoBroker broker;
    GroupClient relay;
};

TEST_F(EngineRelay, SerialBytesGoOutBehindTheHostSequence) {
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{1, 2, 3}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    ASSERT_TRUE(pty.Write(Bytes{4}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    auto msgs = relay.Messages();
    EXPECT_EQ(msgs[0].payload, (Bytes{0, 0, 1, 2, 3}));
    EXPECT_EQ(msgs[1].payload, (Bytes{1, 0, 4}));
    EXPECT_EQ(engine.LastPacketId(), 2);
    auto c = engine.Counters().Snapshot();
    EXPECT_EQ(c.serialBytesToGroup, 4u);
    EXPECT_EQ(c.packetsToGroup, 2u);
    EXPECT_TRUE(WaitUntil([&] { return engine.Counters().Snapshot().pubAcks == 2; }, 5s));
}

TEST_F(EngineRelay, HundredBytesGoOutAs64AndLater36) {
    ASSERT_TRUE(StartAndSubscribe());
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(pty.Write(data));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    auto msgs = relay.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    ASSERT_EQ(msgs[0].payload.size(), 66u);
    ASSERT_EQ(msgs[1].payload.size(), 38u);
    EXPECT_EQ(Bytes(msgs[0].payload.begin() + 2, msgs[0].payload.end()),
              Bytes(data.begin(), data.begin() + 64));
    EXPECT_EQ(Bytes(msgs[1].payload.begin() + 2, msgs[1].payload.end()),
              Bytes(data.begin() + 64, data.end()));
    EXPECT_EQ(msgs[1].payload[0], 1);
    // the rest waits for the gather window behind the full piece
    EXPECT_GE(msgs[1].at - msgs[0].at, 10ms);
}

TEST_F(EngineRelay, LongBurstArrivesWholeInOrderAndNumbered) {
    ASSERT_TRUE(StartAndSubscribe());
    Bytes data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    ASSERT_TRUE(pty.Write(data));
    Bytes joined;
    ASSERT_TRUE(WaitUntil(
        [&] {
            joined.clear();
            for (const auto& m : relay.Messages())
                joined.insert(joined.end(), m.payload.begin() + 2, m.payload.end());
            return joined.size() >= data.size();
        },
        10s));
    EXPECT_EQ(joined, data);
    auto msgs = relay.Messages();
    EXPECT_GE(msgs.size(), (data.size() + 63) / 64);
    for (size_t i = 0; i < msgs.size(); ++i) {
        ASSERT_GE(msgs[i].payload.size(), 3u);
        EXPECT_LE(msgs[i].payload.size(), 66u);
        EXPECT_EQ(msgs[i].payload[0] | (msgs[i].payload[1] << 8), static_cast<int>(i))
            << "packet " << i;
    }
}

TEST_F(EngineRelay, RelayPacketsReachThePortInNumberOrder) {
    ASSERT_TRUE(StartAndSubscribe());
    const std::string data = Topic("/client");
    for (uint16_t n : std::initializer_list<uint16_t>{1, 3, 2, 3, 5, 4,
                                                      6}) {  // 3 twice: the late copy is dropped
        ASSERT_TRUE(
            relay.Publish(data, DataPacket(0xBEEF, n, Bytes{static_cast<uint8_t>(n), 0xAA})));
    }
    Bytes got = pty.Read(12, 5000);
    EXPECT_EQ(got, (Bytes{1, 0xAA, 2, 0xAA, 3, 0xAA, 4, 0xAA, 5, 0xAA, 6, 0xAA}));
    EXPECT_TRUE(pty.Read(1, 200).empty());
    auto c = engine.Counters().Snapshot();
    EXPECT_EQ(c.packetsFromGroup, 7u);
    EXPECT_EQ(c.serialBytesFromGroup, 12u);
    // the second 3 is late, or a duplicate when the first still waits
    EXPECT_EQ(c.lateDropped + c.duplicatesDropped, 1u);
}

TEST_F(EngineRelay, BurstOfInOrderPacketsLosesNothing) {
    ASSERT_TRUE(StartAndSubscribe());
    Bytes expect;
    for (uint16_t n = 1; n <= 200; ++n) {
        Bytes d(16, static_cast<uint8_t>(n));
        expect.insert(expect.end(), d.begin(), d.end());
        ASSERT_TRUE(relay.Publish(Topic("/client"), DataPacket(7, n, d)));
    }
    EXPECT_EQ(pty.Read(expect.size(), 10000), expect);
}

TEST_F(EngineRelay, StatusMessagesUpdateTheRelayTable) {
    config.relays = {{3, "old", ""}};
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(relay.Publish(Topic("/client/status"), "baseinfo:3,hello,1,2,8986,8600,"));
    ASSERT_TRUE(WaitUntil([&] { return events.Count("report|3|8986|8600") == 1; }, 5s));
    EXPECT_EQ(events.Count("heard|0|3|base|8986|8600"), 1u);
    uint32_t first = engine.LastHeardTick(0);
    ASSERT_NE(first, kNeverHeard);

    // the same again is heard but not reported; a ping only renews the tick
    clock.offset.fetch_add(5000);
    ASSERT_TRUE(relay.Publish(Topic("/client/status"), "baseinfo:3,hello,1,2,8986,8600,"));
    ASSERT_TRUE(relay.Publish(Topic("/client/status"), "pingack:3"));
    ASSERT_TRUE(WaitUntil([&] { return events.Count("heard|0|3|ping") == 1; }, 5s));
    EXPECT_GE(engine.LastHeardTick(0) - first, 5000u);
    EXPECT_EQ(events.Count("report|"), 1u);
}

TEST_F(EngineRelay, BrokerRestartResubscribesAndDeliversTheOutageBytes) {
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{9}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    ASSERT_TRUE(pty.Write(Bytes{8}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    uint16_t idBefore = engine.LastPacketId();

    broker.Stop();
    ASSERT_TRUE(WaitUntil([&] { return events.Count("fault|lost") == 1; }, 5s));
    ASSERT_TRUE(pty.Write(Bytes{0x55, 0x66}));
    // restart right after a failed attempt, so the relays are back before the next one
    ASSERT_TRUE(WaitUntil([&] { return events.Count("fault|connect") >= 1; }, 5s));
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(relay.Reconnect());
    ASSERT_TRUE(WaitSubscribed(2));
    ASSERT_TRUE(relay.WaitMessages(3, 5s));
    auto msgs = relay.Messages();
    EXPECT_EQ(msgs.back().payload, (Bytes{0, 0, 0x55, 0x66}));  // a new subscription starts at 0
    EXPECT_EQ(engine.LastPacketId(), static_cast<uint16_t>(idBefore + 1));
    EXPECT_TRUE(engine.Active());
    EXPECT_EQ(engine.Counters().Snapshot().reconnects, 1u);
}

TEST_F(EngineRelay, StopAndStartAgainContinuesPacketIds) {
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{1}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    engine.RequestStop();
    ASSERT_TRUE(WaitStopped(2s));
    EXPECT_EQ(events.Last(), "stopped|user");

    ASSERT_TRUE(StartAndSubscribe(2));
    ASSERT_TRUE(pty.Write(Bytes{2}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    EXPECT_EQ(relay.Messages()[1].payload, (Bytes{0, 0, 2}));
    EXPECT_EQ(engine.LastPacketId(), 2);
}

TEST_F(EngineRelay, PacketIdAfter65535IsOne) {
    engine.SetLastPacketId(65534);
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{1}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    EXPECT_EQ(engine.LastPacketId(), 65535);
    ASSERT_TRUE(pty.Write(Bytes{2}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    EXPECT_EQ(engine.LastPacketId(), 1);
    EXPECT_EQ(relay.Messages()[1].payload, (Bytes{1, 0, 2}));
}

TEST_F(EngineRelay, PtyHangUpEndsTheRunWithAMessage) {
    ASSERT_TRUE(StartAndSubscribe());
    pty.CloseMaster();
    ASSERT_TRUE(WaitStopped(5s));
    EXPECT_EQ(events.Last(), "stopped|port-failed");
    EXPECT_TRUE(relay.Messages().empty());  // nothing that was not read went out
}

}  // namespace
}  // namespace norvex::test
