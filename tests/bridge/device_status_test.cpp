#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/device_table.h"

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
};

using DeviceStatus = Fixture;

TEST_F(DeviceStatus, PingMarksEveryRecordWithTheNumber) {
    EXPECT_EQ(NotePing(table, 7, 1234), 0);
    EXPECT_EQ(table[0].lastHeardTick.load(), 1234u);
    EXPECT_EQ(table[1].lastHeardTick.load(), kNeverHeard);
    EXPECT_EQ(table[2].lastHeardTick.load(), 1234u);
    EXPECT_EQ(NotePing(table, 99, 5000), -1);  // not in the group: nothing changes
    EXPECT_EQ(table[1].lastHeardTick.load(), kNeverHeard);
}

TEST_F(DeviceStatus, HeardAtTheLastTickIsStillHeard) {
    NotePing(table, 8, kNeverHeard);
    EXPECT_NE(table[1].lastHeardTick.load(), kNeverHeard);
}

TEST_F(DeviceStatus, FirstBaseInfoThatMatchesTheListStartsNoReport) {
    BaseInfo same{8, "", 0, 0, "I8", "M8"};
    BaseInfoResult r = NoteBaseInfo(table, same, 50);
    EXPECT_EQ(r.row, 1);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(table[1].lastHeardTick.load(), 50u);
}

TEST_F(DeviceStatus, ChangedBaseInfoIsReportedOnceAndUpdatesTheFirstRecordOnly) {
    BaseInfo info{7, "t", 1, 2, "NEWI", "NEWM"};
    BaseInfoResult first = NoteBaseInfo(table, info, 10);
    BaseInfoResult again = NoteBaseInfo(table, info, 20);  // identical: no report
    EXPECT_EQ(first.row, 0);
    EXPECT_TRUE(first.changed);
    EXPECT_EQ(again.row, 0);
    EXPECT_FALSE(again.changed);
    EXPECT_EQ(table[0].iccid, "NEWI");
    EXPECT_EQ(table[0].imei, "NEWM");
    EXPECT_EQ(table[0].infoValue1, 1);
    EXPECT_EQ(table[0].lastHeardTick.load(), 20u);
    EXPECT_EQ(table[2].iccid, "I7b");
    EXPECT_EQ(table[2].lastHeardTick.load(), kNeverHeard);
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
        NoteBaseInfo(table, base, 1);
        EXPECT_TRUE(NoteBaseInfo(table, v, 2).changed);
    }
}

TEST_F(DeviceStatus, UnknownRelayGetsNothing) {
    EXPECT_EQ(NoteBaseInfo(table, BaseInfo{99, "t", 1, 1, "a", "b"}, 5).row, -1);
}

}  // namespace
}  // namespace norvex
