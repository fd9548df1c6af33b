// The readers of the group web service's replies.
#include <gtest/gtest.h>

#include "groupservice/group_replies.h"
#include "groupservice/group_requests.h"

namespace norvex {
namespace {

TEST(GroupInfoReaders, EachReaderJudgesTheSameReplyItsOwnWay) {
    struct Case {
        const char* reply;
        std::optional<std::string> login;  // name, or failure
        std::optional<std::string> startSerial;
        bool detailsFailed;
        std::string detailsName, detailsCreated;
    };
    const Case cases[] = {
        {"100001,Plant A,2024-01-02 03:04:05", "plant a", "100001", false, "Plant A",
         "2024-01-02 03:04:05"},
        {"err", std::nullopt, std::nullopt, true, "", ""},
        {"ERR", std::nullopt, std::nullopt, false, "", ""},  // details: no comma, shows nothing
        {" 100001 , Name ,  time ", "name", "100001", false, "Name", "  time "},
        {"1,n,a,b,c", "n", "1", false, "n", "a,b,c"},
        {"1,n,", "n", "1", false, "n", ""},
        {"1,n", std::nullopt, std::nullopt, false, "", ""},
        {"", std::nullopt, std::nullopt, false, "", ""},
        {"  \r\n", std::nullopt, std::nullopt, false, "", ""},
        {",,", "", "", false, "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadGroupLoginReply(c.reply), c.login) << c.reply;
        auto start = ReadServiceStartReply(c.reply);
        EXPECT_EQ(start ? std::optional(start->serial) : std::nullopt, c.startSerial) << c.reply;
        auto details = ReadGroupDetailsReply(c.reply);
        EXPECT_EQ(details.failed, c.detailsFailed) << c.reply;
        EXPECT_EQ(details.name, c.detailsName) << c.reply;
        EXPECT_EQ(details.created, c.detailsCreated) << c.reply;
    }
    auto start = ReadServiceStartReply("\t100001, Plant A ,x\r\n");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->name, "Plant A");
}

TEST(ReserveAndBindReaders, LowerCaseErrFailsAndTheSerialIsScanned) {
    auto r = ReadPrecreateReply("100001");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->serial, 100001);
    r = ReadPrecreateReply(" 42ABC");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->serialText, " 42abc");  // lower case, untrimmed
    EXPECT_EQ(r->serial, 42);
    for (const char* bad : {"err", "ERR", "Err", "", "abc", "99999999999"}) {
        EXPECT_FALSE(ReadPrecreateReply(bad)) << bad;
    }
    EXPECT_FALSE(ReadUpdateOnenetInfoReply("ERR"));
    EXPECT_TRUE(ReadUpdateOnenetInfoReply("ok"));
    EXPECT_TRUE(ReadUpdateOnenetInfoReply(""));
    EXPECT_TRUE(ReadUpdateOnenetInfoReply(" err"));
}

TEST(DeviceListReader, ReadsCompleteRecordsFromTheFront) {
    struct Case {
        const char* reply;
        DeviceListStatus status;
        std::vector<std::tuple<int32_t, std::string, std::string>> records;
    };
    const Case cases[] = {
        {"err", DeviceListStatus::kFailed, {}},
        {"ERR", DeviceListStatus::kFailed, {}},
        {"no", DeviceListStatus::kNoDevices, {}},
        {"No", DeviceListStatus::kNoDevices, {}},
        {"", DeviceListStatus::kNoDevices, {}},
        {"1,a,b|2, c , d |", DeviceListStatus::kRecords, {{1, "a", "b"}, {2, "c", "d"}}},
        {"1,a,b|2,c,d|3,e,f", DeviceListStatus::kRecords, {{1, "a", "b"}, {2, "c", "d"}}},
        {",a,b|", DeviceListStatus::kRecords, {}},
        {"1,,b|", DeviceListStatus::kRecords, {}},
        {"1,a,|", DeviceListStatus::kRecords, {}},
        {"1, , |", DeviceListStatus::kRecords, {{1, "", ""}}},
        {"007,a,b|x,c,d|", DeviceListStatus::kRecords, {{7, "a", "b"}, {0, "c", "d"}}},
        {" -3z,A,B|", DeviceListStatus::kRecords, {{-3, "a", "b"}}},
        {"1,12345678901234567890123456789012345,i|",
         DeviceListStatus::kRecords,
         {{1, "1234567890123456789012345678901", "i"}}},
    };
    for (const auto& c : cases) {
        DeviceListReply r = ReadGroupDevicesReply(c.reply);
        EXPECT_EQ(r.status, c.status) << c.reply;
        ASSERT_EQ(r.records.size(), c.records.size()) << c.reply;
        for (size_t i = 0; i < c.records.size(); ++i) {
            EXPECT_EQ(r.records[i].devid, std::get<0>(c.records[i])) << c.reply;
            EXPECT_EQ(r.records[i].iccid, std::get<1>(c.records[i])) << c.reply;
            EXPECT_EQ(r.records[i].imei, std::get<2>(c.records[i])) << c.reply;
        }
    }
}

TEST(RequestPaths, PutEscapedValuesIntoTheFivePages) {
    EXPECT_EQ(GroupInfoPath("1000000001", "abc123"),
              "/norvex/getonenetinfo.asp?devid=1000000001&pwd=abc123");
    EXPECT_EQ(PrecreateGroupPath("群 A", "p&pwd=x"),
              "/norvex/precreategroup.asp?name=群%20A&pwd=p%26pwd%3Dx");
    EXPECT_EQ(UpdateOnenetInfoPath("100001", "pw", "1000000001"),
              "/norvex/updateonenetinfo.asp?id=100001&pwd=pw&devid=1000000001");
    EXPECT_EQ(GroupDevicesPath("1#2"), "/norvex/getgroupdevices.asp?groupid=1%232");
    EXPECT_EQ(UpdateDevicesPath(-5, "89 86", "86+1"),
              "/norvex/updatedevices.asp?devid=-5&iccid=89%2086&imei=86%2B1");
}

}  // namespace
}  // namespace norvex
