#include "bridge/relay_status.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace norvex {
namespace {

StatusKind Parse(const std::string& text, StatusMessage* out) {
    return ParseStatusMessage(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
}

TEST(StatusMessage, PingCarriesTheDeviceNumber) {
    const std::pair<const char*, int32_t> cases[] = {
        {"pingack:42", 42},
        {"pingack: -7xyz", -7},
        {"pingack:99999999999999999999", INT32_MAX},  // saturates instead of wrapping
    };
    for (const auto& [text, devid] : cases) {
        StatusMessage m;
        ASSERT_EQ(Parse(text, &m), StatusKind::kPing) << text;
        EXPECT_EQ(m.pingDevid, devid) << text;
    }
}

TEST(StatusMessage, IgnoredShapes) {
    for (const char* text :
         {"pingack:", "pingack", "pingack:abc", "", ":", "hello:1", "PINGACK:1",
          "baseinfo:", "baseinfo:1,a,2,3,i,m", "baseinfo:1,a,,3,i,m,", "baseinfo:1,,2,3,i,m,"}) {
        StatusMessage m;
        EXPECT_EQ(Parse(text, &m), StatusKind::kIgnored) << text;
    }
}

TEST(StatusMessage, BaseInfoSixFields) {
    StatusMessage m;
    ASSERT_EQ(Parse("baseinfo:12,relay A,3,-4,8986001,86000001,extra", &m), StatusKind::kBaseInfo);
    EXPECT_EQ(m.info.devid, 12);
    EXPECT_EQ(m.info.text, "relay A");
    EXPECT_EQ(m.info.value1, 3);
    EXPECT_EQ(m.info.value2, -4);
    EXPECT_EQ(m.info.iccid, "8986001");
    EXPECT_EQ(m.info.imei, "86000001");
}

TEST(StatusMessage, BaseInfoNumbersWithoutDigitsAreZero) {
    StatusMessage m;
    ASSERT_EQ(Parse("baseinfo: x,t, 5z,+,i,m,", &m), StatusKind::kBaseInfo);
    EXPECT_EQ(m.info.devid, 0);
    EXPECT_EQ(m.info.value1, 5);
    EXPECT_EQ(m.info.value2, 0);
}

// Each text field is repaired first and then cut to the device limit (the rules themselves are
// the common text tests').
TEST(StatusMessage, TextsAreRepairedThenCutToTheDeviceLimit) {
    std::string han;  // 3-byte characters: one unit each
    for (int i = 0; i < 40; ++i) han += "\xE4\xB8\xAD";
    std::string emoji;  // 4-byte characters: two units each
    for (int i = 0; i < 20; ++i) emoji += "\xF0\x9F\x98\x80";
    StatusMessage m;
    ASSERT_EQ(
        Parse("baseinfo:1," + std::string(40, 'a') + ",0,0,\xFF" + han + "," + emoji + ",", &m),
        StatusKind::kBaseInfo);
    EXPECT_EQ(m.info.text, std::string(kDeviceTextUnits, 'a'));
    EXPECT_EQ(m.info.iccid, "\xEF\xBF\xBD" + han.substr(0, 3 * (kDeviceTextUnits - 1)));
    EXPECT_EQ(m.info.imei, emoji.substr(0, 4 * (kDeviceTextUnits / 2)));
}

TEST(StatusMessage, PayloadEndsAtNul) {
    const char text[] =
        "pingack:\0"
        "5";
    StatusMessage m;
    EXPECT_EQ(ParseStatusMessage(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, &m),
              StatusKind::kIgnored);
}

}  // namespace
}  // namespace norvex
