#include "bridge/relay_status.h"

#include <gtest/gtest.h>

#include <string>

#include "bridge/text_units.h"

namespace norvex {
namespace {

StatusKind Parse(const std::string& text, StatusMessage* out) {
    return ParseStatusMessage(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
}

TEST(StatusMessage, PingCarriesTheDeviceNumber) {
    StatusMessage m;
    ASSERT_EQ(Parse("pingack:42", &m), StatusKind::kPing);
    EXPECT_EQ(m.pingDevid, 42);
    ASSERT_EQ(Parse("pingack: -7xyz", &m), StatusKind::kPing);
    EXPECT_EQ(m.pingDevid, -7);
}

TEST(StatusMessage, IgnoredShapes) {
    for (const char* text : {"pingack:", "pingack", "pingack:abc", "", ":", "hello:1",
                             "PINGACK:1", "baseinfo:", "baseinfo:1,a,2,3,i,m",
                             "baseinfo:1,a,,3,i,m,", "baseinfo:1,,2,3,i,m,"}) {
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

TEST(StatusMessage, NumbersSaturateInsteadOfOverflowing) {
    StatusMessage m;
    ASSERT_EQ(Parse("pingack:99999999999999999999", &m), StatusKind::kPing);
    EXPECT_EQ(m.pingDevid, INT32_MAX);
    ASSERT_EQ(Parse("pingack:-99999999999999999999", &m), StatusKind::kPing);
    EXPECT_EQ(m.pingDevid, INT32_MIN);
}

TEST(StatusMessage, LongTextsAreCutTo31Utf16Units) {
    std::string ascii(40, 'a');
    std::string han;  // 3-byte characters: one unit each
    for (int i = 0; i < 40; ++i) han += "\xE4\xB8\xAD";
    std::string emoji;  // 4-byte characters: two units each, never split
    for (int i = 0; i < 20; ++i) emoji += "\xF0\x9F\x98\x80";
    StatusMessage m;
    ASSERT_EQ(Parse("baseinfo:1," + ascii + ",0,0," + han + "," + emoji + ",", &m),
              StatusKind::kBaseInfo);
    EXPECT_EQ(m.info.text, std::string(31, 'a'));
    EXPECT_EQ(Utf16Units(m.info.iccid), 31u);
    EXPECT_EQ(m.info.iccid.size(), 93u);
    EXPECT_EQ(Utf16Units(m.info.imei), 30u);
    EXPECT_EQ(m.info.imei.size(), 60u);
}

TEST(StatusMessage, BrokenUtf8BecomesReplacementCharacters) {
    StatusMessage m;
    ASSERT_EQ(Parse("baseinfo:1,a\xFF" "b,0,0,\xC3,\xED\xA0\x80,", &m), StatusKind::kBaseInfo);
    EXPECT_EQ(m.info.text, "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(m.info.iccid, "\xEF\xBF\xBD");
    EXPECT_EQ(m.info.imei, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(StatusMessage, PayloadEndsAtNul) {
    const char text[] = "pingack:\0" "5";
    StatusMessage m;
    EXPECT_EQ(ParseStatusMessage(reinterpret_cast<const uint8_t*>(text), sizeof text - 1, &m),
              StatusKind::kIgnored);
}

}  // namespace
}  // namespace norvex
