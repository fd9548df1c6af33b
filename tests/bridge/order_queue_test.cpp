#include "bridge/order_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace norvex {
namespace {

// Each write is one packet; its first byte is the packet number's low byte.
class RecordingPort final : public PortWriter {
public:
    int WriteBytes(const uint8_t* data, size_t len) override {
        if (fail) return -1;
        writes.emplace_back(data, data + len);
        return static_cast<int>(len);
    }
    std::vector<int> Firsts() const {
        std::vector<int> out;
        for (auto& w : writes) out.push_back(w.empty() ? -1 : w[0]);
        return out;
    }
    std::vector<std::vector<uint8_t>> writes;
    bool fail = false;
};

constexpr uint32_t kKey = 0xA1B2C3D4;

void Put(OrderQueue& q, uint16_t number, uint32_t now = 0, uint32_t key = kKey, int count = 3) {
    uint8_t data[64];
    for (int i = 0; i < 64; ++i) data[i] = static_cast<uint8_t>(number + i);
    q.Insert(key, number, data, count, now);
}

// Brings a sender to "expecting n" by writing packet n-1 as its first.
OrderQueue Expecting(uint16_t n, RecordingPort& port) {
    OrderQueue q;
    Put(q, static_cast<uint16_t>(n - 1));
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.orderTable[0].expectedNumber, n);
    port.writes.clear();
    return q;
}

TEST(SeqDistance, MatchesTheCircleRules) {
    struct Case {
        uint16_t a, b;
        int32_t d;
    } cases[] = {
        {5, 3, 2},
        {3, 5, -2},
        {0, 0, 0},
        {1, 65535, 2},
        {65535, 1, -2},
        {0x8000, 0, -0x8000},
        {0, 0x8000, 0x8000},
        {0x7FFF, 0, 0x7FFF},
        {0, 0x7FFF, -0x7FFF},
        {40000, 0, 40000 - 65536},
    };
    for (auto& c : cases) EXPECT_EQ(SeqDistance(c.a, c.b), c.d) << c.a << " vs " << c.b;
}

TEST(OrderQueue, FirstPacketOfNewSenderIsWrittenAndSetsExpectation) {
    OrderQueue q;
    RecordingPort port;
    Put(q, 5);
    ASSERT_EQ(q.orderTable.size(), 1u);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(port.Firsts(), std::vector<int>{5});
    EXPECT_EQ(port.writes[0].size(), 3u);
    EXPECT_EQ(q.orderTable[0].expectedNumber, 6);
}

TEST(OrderQueue, OutOfOrderBatchIsWrittenOnePerFlushInNumberOrder) {
    RecordingPort port;
    OrderQueue q = Expecting(6, port);
    Put(q, 6);
    Put(q, 8);
    Put(q, 7);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.Flush(0, port), 0);
    EXPECT_EQ(port.Firsts(), (std::vector<int>{6, 7, 8}));
}

TEST(OrderQueue, LatePacketIsDroppedAndCountedUntilAnyStore) {
    RecordingPort port;
    OrderQueue q = Expecting(9, port);
    Put(q, 5);
    EXPECT_EQ(q.lateCount, 1u);
    Put(q, 3, 0, 0x42);  // a new sender is not a store: the count stays
    EXPECT_EQ(q.lateCount, 1u);
    Put(q, 10);
    EXPECT_EQ(q.lateCount, 0u);
    EXPECT_EQ(q.Flush(0, port), 1);  // the new sender's 3; 10 waits for 9
    EXPECT_EQ(port.Firsts(), std::vector<int>{3});
}

TEST(OrderQueue, FourthPacketAfterThreeLateOnesResetsTheSender) {
    RecordingPort port;
    OrderQueue q = Expecting(9, port);
    Put(q, 1);
    Put(q, 2);
    Put(q, 3);
    EXPECT_EQ(q.lateCount, 3u);
    Put(q, 12, 77);
    const auto& rec = q.orderTable[0];
    EXPECT_EQ(q.lateCount, 0u);
    EXPECT_EQ(rec.slotNumber[0], 0);
    EXPECT_EQ(rec.slotLength[0], 3);
    EXPECT_EQ(rec.expectedNumber, 0);
    EXPECT_EQ(rec.lastActivityTick, 77u);
    EXPECT_EQ(q.Flush(80, port), 1);
    EXPECT_EQ(port.Firsts(), std::vector<int>{12});  // the bytes of 12, held under number 0
    EXPECT_EQ(q.orderTable[0].expectedNumber, 1);
}

TEST(OrderQueue, FullSetWritesEarliestThenExpectedAndDropsAFifth) {
    RecordingPort port;
    OrderQueue q = Expecting(7, port);
    for (int n = 8; n <= 11; ++n) Put(q, static_cast<uint16_t>(n));
    Put(q, 12);  // no slot left
    EXPECT_EQ(q.lateCount, 0u);
    EXPECT_EQ(q.Flush(0, port), 2);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.Flush(0, port), 0);
    EXPECT_EQ(port.Firsts(), (std::vector<int>{8, 9, 10, 11}));
}

TEST(OrderQueue, RepeatedPacketReplacesTheHeldCopy) {
    RecordingPort port;
    OrderQueue q = Expecting(7, port);
    Put(q, 9, 0, kKey, 3);
    Put(q, 9, 0, kKey, 5);
    EXPECT_EQ(q.orderTable[0].slotLength[0], 5);
    EXPECT_EQ(q.orderTable[0].slotLength[1], 0);
}

TEST(OrderQueue, HeldPacketIsWrittenOnceTheExpectationLapses) {
    RecordingPort port;
    OrderQueue q = Expecting(7, port);  // last write at tick 0
    Put(q, 9, 1000);
    EXPECT_EQ(q.Flush(kOrderLapseMs, port), 0);
    EXPECT_EQ(q.Flush(kOrderLapseMs + 1, port), 1);
    EXPECT_EQ(port.Firsts(), std::vector<int>{9});
    EXPECT_EQ(q.orderTable[0].expectedNumber, 10);
}

TEST(OrderQueue, LapseIsMeasuredAcrossTheTickWrap) {
    RecordingPort port;
    OrderQueue q;
    Put(q, 6, 0xFFFFFF00u);
    ASSERT_EQ(q.Flush(0xFFFFFF00u, port), 1);
    Put(q, 9, 0xFFFFFF00u);
    EXPECT_EQ(q.Flush(1000, port), 0);  // 1256 ms later, not 49 days
    EXPECT_EQ(q.Flush(0xFFFFFF00u + kOrderLapseMs + 1, port), 1);
}

TEST(OrderQueue, IdleSenderKeepsItsExpectationFresh) {
    RecordingPort port;
    OrderQueue q = Expecting(7, port);
    EXPECT_EQ(q.Flush(500000, port), 0);  // nothing held: the clock moves along
    Put(q, 9, 500000);
    EXPECT_EQ(q.Flush(500001, port), 0);
    EXPECT_EQ(q.orderTable[0].expectedNumber, 7);
}

TEST(OrderQueue, NumberZeroResetsAKnownSenderAndLosesHeldPackets) {
    RecordingPort port;
    OrderQueue q = Expecting(7, port);
    Put(q, 9);
    Put(q, 10);
    Put(q, 0);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.Flush(0, port), 0);
    EXPECT_EQ(port.Firsts(), std::vector<int>{0});
    EXPECT_EQ(q.orderTable[0].expectedNumber, 1);
}

TEST(OrderQueue, EmptyPacketIsNeverWrittenAndNeverMovesTheExpectation) {
    RecordingPort port;
    OrderQueue q = Expecting(7, port);
    Put(q, 7, 0, kKey, 0);
    EXPECT_EQ(q.Flush(0, port), 0);
    EXPECT_EQ(q.orderTable[0].expectedNumber, 7);
    EXPECT_TRUE(port.writes.empty());
}

TEST(OrderQueue, AfterNumber65535NothingIsExpected) {
    RecordingPort port;
    OrderQueue q = Expecting(65535, port);
    Put(q, 65535);
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(q.orderTable[0].expectedNumber, 0);
    Put(q, 3);  // 3 is after 0 on the circle: held and written as the earliest
    EXPECT_EQ(q.Flush(0, port), 1);
    EXPECT_EQ(port.Firsts(), (std::vector<int>{0xFF, 3}));
}

TEST(OrderQueue, SendersAreFlushedRecordByRecord) {
    RecordingPort port;
    OrderQueue q;
    Put(q, 1, 0, 1);
    Put(q, 20, 0, 2);
    Put(q, 2, 0, 1);
    EXPECT_EQ(q.Flush(0, port), 3);  // sender 1: 1 then 2; sender 2: 20
    EXPECT_EQ(port.Firsts(), (std::vector<int>{1, 2, 20}));
}

TEST(OrderQueue, PortFailureIsReportedAndKeepsThePacket) {
    RecordingPort port;
    OrderQueue q;
    Put(q, 4);
    port.fail = true;
    EXPECT_EQ(q.Flush(0, port), -1);
    EXPECT_EQ(q.orderTable[0].slotLength[0], 3);
}

TEST(OrderQueue, ClearEmptiesTableAndLateCount) {
    RecordingPort port;
    OrderQueue q = Expecting(9, port);
    Put(q, 1);
    q.Clear();
    EXPECT_TRUE(q.orderTable.empty());
    EXPECT_EQ(q.lateCount, 0u);
}

}  // namespace
}  // namespace norvex
