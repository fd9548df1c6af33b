#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/device_table.h"
#include "bridge/inbound_message.h"
#include "recording_panel.h"

namespace norvex {
namespace {

RelayDevice Device(int32_t devid, const std::string& iccid, const std::string& imei) {
    RelayDevice d;
    d.devid = devid;
    d.iccid = iccid;
    d.imei = imei;
    return d;
}

struct Fixture : ::testing::Test {
    DeviceTable table{Device(7, "I7", "M7"), Device(8, "I8", "M8"), Device(7, "I7b", "M7b")};
    test::RecordingPanel panel;
    std::vector<DeviceReport> reports;
    DeviceReporter reporter = [this](const DeviceReport& r) { reports.push_back(r); };
};

using DeviceStatus = Fixture;

TEST_F(DeviceStatus, PingMarksEveryRecordWithTheNumber) {
    NotePing(table, 7, 1234);
    EXPECT_EQ(table[0].lastHeardTick.load(), 1234u);
    EXPECT_EQ(table[1].lastHeardTick.load(), kNeverHeard);
    EXPECT_EQ(table[2].lastHeardTick.load(), 1234u);
    NotePing(table, 99, 5000);  // not in the group: nothing changes
    EXPECT_EQ(table[1].lastHeardTick.load(), kNeverHeard);
    EXPECT_TRUE(panel.Calls().empty());
}

TEST_F(DeviceStatus, HeardAtTheLastTickIsStillHeard) {
    NotePing(table, 8, kNeverHeard);
    EXPECT_NE(table[1].lastHeardTick.load(), kNeverHeard);
}

TEST_F(DeviceStatus, FirstBaseInfoThatMatchesTheListStartsNoReport) {
    BaseInfo same{8, "", 0, 0, "I8", "M8"};
    EXPECT_EQ(NoteBaseInfo(table, same, 50, &panel, reporter), 1);
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(table[1].lastHeardTick.load(), 50u);
    EXPECT_EQ(panel.Calls(), (std::vector<std::string>{"cell|1|1|online", "cell|1|2|I8",
                                                       "cell|1|3|M8"}));
}

TEST_F(DeviceStatus, ChangedBaseInfoIsReportedOnceAndUpdatesTheFirstRecordOnly) {
    BaseInfo info{7, "t", 1, 2, "NEWI", "NEWM"};
    EXPECT_EQ(NoteBaseInfo(table, info, 10, &panel, reporter), 0);
    EXPECT_EQ(NoteBaseInfo(table, info, 20, &panel, reporter), 0);  // identical: no report
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].devid, 7);
    EXPECT_EQ(reports[0].iccid, "NEWI");
    EXPECT_EQ(reports[0].imei, "NEWM");
    EXPECT_EQ(table[0].infoValue1, 1);
    EXPECT_EQ(table[0].lastHeardTick.load(), 20u);
    EXPECT_EQ(table[2].iccid, "I7b");
    EXPECT_EQ(table[2].lastHeardTick.load(), kNeverHeard);
    EXPECT_EQ(panel.Count("cell|0|1|online"), 2u);
}

TEST_F(DeviceStatus, EachFieldAloneCountsAsAChange) {
    const BaseInfo base{8, "", 0, 0, "I8", "M8"};
    BaseInfo variants[5] = {base, base, base, base, base};
    variants[0].text = "x";
    variants[1].value1 = 1;
    variants[2].value2 = 1;
    variants[3].iccid = "I9";
    variants[4].imei = "M9";
    for (auto& v : variants) {
        reports.clear();
        NoteBaseInfo(table, base, 1, nullptr, reporter);
        reports.clear();
        NoteBaseInfo(table, v, 2, nullptr, reporter);
        EXPECT_EQ(reports.size(), 1u);
    }
}

TEST_F(DeviceStatus, UnknownRelayGetsNothing) {
    EXPECT_EQ(NoteBaseInfo(table, BaseInfo{99, "t", 1, 1, "a", "b"}, 5, &panel, reporter), -1);
    EXPECT_TRUE(reports.empty());
    EXPECT_TRUE(panel.Calls().empty());
}

TEST_F(DeviceStatus, InboundMessagesReachTheRightPlace) {
    RelayIdentity ids = BuildRelayIdentity("55", "1", "");
    OrderQueue orders;
    InboundTargets t{&ids, &orders, &table, &panel, &reporter};
    auto msg = [](const std::string& topic, const std::string& payload) {
        ReceivedMessage m;
        m.topic = topic;
        m.payload.assign(payload.begin(), payload.end());
        m.payloadLength = static_cast<int32_t>(payload.size());
        return m;
    };
    EXPECT_EQ(HandleInboundMessage(msg(ids.statusTopic, "pingack:8"), t, 9), InboundResult::Ping);
    EXPECT_EQ(table[1].lastHeardTick.load(), 9u);
    EXPECT_EQ(HandleInboundMessage(msg(ids.statusTopic, "baseinfo:8,x,0,0,I8,M8,"), t, 10),
              InboundResult::BaseInfo);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(HandleInboundMessage(msg(ids.dataTopic, "00000001,0001,0A0B"), t, 11),
              InboundResult::Data);
    ASSERT_EQ(orders.orderTable.size(), 1u);
    EXPECT_EQ(orders.orderTable[0].slotLength[0], 2);
    EXPECT_EQ(HandleInboundMessage(msg(ids.dataTopic, "00000002,0001,"), t, 11),
              InboundResult::Data);  // no data bytes: still inserted, with a count of 0
    EXPECT_EQ(orders.orderTable.size(), 2u);
    // other topics, the status payload on the data topic and case differences are dropped
    EXPECT_EQ(HandleInboundMessage(msg(ids.hostTopic, "00000001,0002,0A0B"), t, 12),
              InboundResult::Ignored);
    EXPECT_EQ(HandleInboundMessage(msg("/group/55/CLIENT", "00000001,0002,0A"), t, 12),
              InboundResult::Ignored);
    EXPECT_EQ(HandleInboundMessage(msg(ids.dataTopic, "pingack:8"), t, 12), InboundResult::Ignored);
    EXPECT_EQ(HandleInboundMessage(msg(ids.statusTopic, "pingack"), t, 12), InboundResult::Ignored);
    EXPECT_EQ(orders.orderTable.size(), 2u);
}

}  // namespace
}  // namespace norvex
