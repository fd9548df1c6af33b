// The worker between a real pty and a private mosquitto, with libmosquitto playing the relays.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "support/net_util.h"
#include "worker_test_fixture.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class WorkerRelay : public WorkerFixture {
protected:
    void SetUp() override {
        WorkerFixture::SetUp();
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

TEST_F(WorkerRelay, SerialBytesGoOutBehindTheHostSequence) {
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{1, 2, 3}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    ASSERT_TRUE(pty.Write(Bytes{4}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    auto msgs = relay.Messages();
    EXPECT_EQ(msgs[0].payload, (Bytes{0, 0, 1, 2, 3}));
    EXPECT_EQ(msgs[1].payload, (Bytes{1, 0, 4}));
    EXPECT_EQ(session.lastPublishId.load(), 2);
    EXPECT_EQ(panel.Count("invert"), 1u);
    EXPECT_EQ(panel.Count("button|运行中，点击停止|1"), 2u);  // port open, then connected
}

TEST_F(WorkerRelay, HundredBytesGoOutAs64AndLater36) {
    ASSERT_TRUE(StartAndSubscribe());
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(pty.Write(data));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    auto msgs = relay.Messages();
    ASSERT_EQ(msgs.size(), 2u);
    ASSERT_EQ(msgs[0].payload.size(), 66u);
    ASSERT_EQ(msgs[1].payload.size(), 38u);
    EXPECT_EQ(Bytes(msgs[0].payload.begin() + 2, msgs[0].payload.end()), Bytes(data.begin(), data.begin() + 64));
    EXPECT_EQ(Bytes(msgs[1].payload.begin() + 2, msgs[1].payload.end()), Bytes(data.begin() + 64, data.end()));
    EXPECT_EQ(msgs[1].payload[0], 1);
    // the rest waits for the gather window behind the full piece
    EXPECT_GE(msgs[1].at - msgs[0].at, 10ms);
}

TEST_F(WorkerRelay, LongBurstArrivesWholeInOrderAndNumbered) {
    ASSERT_TRUE(StartAndSubscribe());
    Bytes data(5000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    ASSERT_TRUE(pty.Write(data));
    Bytes joined;
    ASSERT_TRUE(WaitUntil([&] {
        joined.clear();
        for (const auto& m : relay.Messages()) joined.insert(joined.end(), m.payload.begin() + 2, m.payload.end());
        return joined.size() >= data.size();
    }, 10s));
    EXPECT_EQ(joined, data);
    auto msgs = relay.Messages();
    EXPECT_GE(msgs.size(), (data.size() + 63) / 64);
    for (size_t i = 0; i < msgs.size(); ++i) {
        ASSERT_GE(msgs[i].payload.size(), 3u);
        EXPECT_LE(msgs[i].payload.size(), 66u);
        EXPECT_EQ(msgs[i].payload[0] | (msgs[i].payload[1] << 8), static_cast<int>(i)) << "packet " << i;
    }
}

TEST_F(WorkerRelay, RelayPacketsReachThePortInNumberOrder) {
    ASSERT_TRUE(StartAndSubscribe());
    const std::string data = Topic("/client");
    for (uint16_t n : std::initializer_list<uint16_t>{1, 3, 2, 3, 5, 4, 6}) {  // 3 twice: the late copy is dropped
        ASSERT_TRUE(relay.Publish(data, DataPacket(0xBEEF, n, Bytes{static_cast<uint8_t>(n), 0xAA})));
    }
    Bytes got = pty.Read(12, 5000);
    EXPECT_EQ(got, (Bytes{1, 0xAA, 2, 0xAA, 3, 0xAA, 4, 0xAA, 5, 0xAA, 6, 0xAA}));
    EXPECT_TRUE(pty.Read(1, 200).empty());
}

TEST_F(WorkerRelay, BurstOfInOrderPacketsLosesNothing) {
    ASSERT_TRUE(StartAndSubscribe());
    Bytes expect;
    for (uint16_t n = 1; n <= 200; ++n) {
        Bytes d(16, static_cast<uint8_t>(n));
        expect.insert(expect.end(), d.begin(), d.end());
        ASSERT_TRUE(relay.Publish(Topic("/client"), DataPacket(7, n, d)));
    }
    EXPECT_EQ(pty.Read(expect.size(), 10000), expect);
}

TEST_F(WorkerRelay, StatusMessagesUpdateTheRelayList) {
    RelayDevice dev;
    dev.devid = 3;
    dev.iccid = "old";
    ctx.deviceTable.push_back(dev);
    std::atomic<int> reports{0};
    ctx.reportDevice = [&](const DeviceReport& r) {
        if (r.devid == 3 && r.iccid == "8986") reports.fetch_add(1);
    };
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(relay.Publish(Topic("/client/status"), "baseinfo:3,hello,1,2,8986,8600,"));
    ASSERT_TRUE(WaitUntil([&] { return panel.Count("cell|0|3|8600") == 1; }, 5s));
    ASSERT_TRUE(relay.Publish(Topic("/client/status"), "pingack:3"));
    EXPECT_EQ(reports.load(), 1);
    EXPECT_NE(ctx.deviceTable[0].lastHeardTick.load(), kNeverHeard);
}

TEST_F(WorkerRelay, BrokerRestartResubscribesAndDeliversTheOutageBytes) {
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{9}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    ASSERT_TRUE(pty.Write(Bytes{8}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    uint16_t idBefore = session.publishPacketId.load();

    broker.Stop();
    ASSERT_TRUE(WaitUntil([&] { return panel.Count("notice|警告|网络故障,重连中..") >= 1; }, 5s));
    ASSERT_TRUE(pty.Write(Bytes{0x55, 0x66}));
    // restart right after a failed attempt, so the relays are back before the next one
    size_t notices = panel.Count("notice|");
    ASSERT_TRUE(WaitUntil([&] { return panel.Count("notice|") > notices; }, 5s));
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(relay.Reconnect());
    ASSERT_TRUE(WaitSubscribed(2));
    ASSERT_TRUE(relay.WaitMessages(3, 5s));
    auto msgs = relay.Messages();
    EXPECT_EQ(msgs.back().payload, (Bytes{0, 0, 0x55, 0x66}));  // a new subscription starts at 0
    EXPECT_EQ(session.publishPacketId.load(), static_cast<uint16_t>(idBefore + 1));
    EXPECT_TRUE(worker.Running());
}

TEST_F(WorkerRelay, StopAndStartAgainContinuesPacketIds) {
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{1}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    worker.RequestStop();
    ASSERT_TRUE(WaitStopped(2s));
    EXPECT_EQ(ctx.running.load(), 0);
    auto calls = panel.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "button|已停止，点击运行|1");
    EXPECT_EQ(calls.back(), "choosers|1");

    ASSERT_TRUE(StartAndSubscribe(2));
    ASSERT_TRUE(pty.Write(Bytes{2}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    EXPECT_EQ(relay.Messages()[1].payload, (Bytes{0, 0, 2}));
    EXPECT_EQ(session.lastPublishId.load(), 2);
}

TEST_F(WorkerRelay, PacketIdAfter65535IsOne) {
    session.publishPacketId.store(65534);
    ASSERT_TRUE(StartAndSubscribe());
    ASSERT_TRUE(pty.Write(Bytes{1}));
    ASSERT_TRUE(relay.WaitMessages(1, 5s));
    EXPECT_EQ(session.lastPublishId.load(), 65535);
    ASSERT_TRUE(pty.Write(Bytes{2}));
    ASSERT_TRUE(relay.WaitMessages(2, 5s));
    EXPECT_EQ(session.lastPublishId.load(), 1);
    EXPECT_EQ(relay.Messages()[1].payload, (Bytes{1, 0, 2}));
}

TEST_F(WorkerRelay, PtyHangUpEndsTheRunWithAMessage) {
    ASSERT_TRUE(StartAndSubscribe());
    pty.CloseMaster();
    ASSERT_TRUE(WaitStopped(5s));
    EXPECT_EQ(ctx.running.load(), 0);
    EXPECT_EQ(panel.Count("message|错误|网络侧串口(" + pty.SlavePath() + ")读写错误或已断开"), 1u);
    EXPECT_EQ(panel.Calls().back(), "choosers|1");
    EXPECT_TRUE(relay.Messages().empty());  // nothing that was not read went out
}

}  // namespace
}  // namespace norvex::test
