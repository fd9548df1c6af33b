// Query encoding and the text rules the readers rely on.
#include <gtest/gtest.h>

#include <climits>

#include "groupservice/endpoints.h"
#include "groupservice/text_utf.h"
#include "groupservice/url_encode.h"

namespace norvex {
namespace {

TEST(UrlEncodeUtf8, EscapesOnlyBytesAbove0x7FInLowerCase) {
    const std::pair<std::string, std::string> cases[] = {
        {"/a?x=群", "/a?x=%e7%be%a4"},
        {"a b&c=d?#+%", "a b&c=d?#+%"},
        {"Ä", "%c3%84"},
        {"\xF0\x9F\x98\x80", "%f0%9f%98%80"},
        {"bad\xff", "bad\xff"},          // not UTF-8: unchanged
        {std::string("ab\0cd", 5), "ab"},  // up to the terminator
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(UrlEncodeUtf8(in), out) << in;
}

TEST(EscapeQueryValue, EscapesEverythingThatCouldChangeTheQuery) {
    const std::pair<std::string, std::string> cases[] = {
        {"p&pwd=x% y", "p%26pwd%3Dx%25%20y"},
        {"#+?", "%23%2B%3F"},
        {"\t\r\n\x7f", "%09%0D%0A%7F"},
        {"Abc-_.~/:,|", "Abc-_.~/:,|"},
        {"群", "群"},  // left for UrlEncodeUtf8
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EscapeQueryValue(in), out) << in;
    EXPECT_EQ(UrlEncodeUtf8(EscapeQueryValue("群 1")), "%e7%be%a4%201");
}

TEST(DecodeUtf8Lossy, RepairsEveryInvalidSequence) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"群", "群"},
        {"\xff", "\xEF\xBF\xBD"},
        {"\xe7\xbe", "\xEF\xBF\xBD"},                // cut at the end
        {"\xe7\xbe" "a", "\xEF\xBF\xBD" "a"},        // cut in the middle
        {"\xc0\xaf", "\xEF\xBF\xBD\xEF\xBF\xBD"},   // overlong
        {"\xed\xa0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
        {"\xf4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // > U+10FFFF
        {std::string("a\0b", 3), "a"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(DecodeUtf8Lossy(in), out);
}

TEST(TextRules, TrimLowerAndCountInUtf16Units) {
    EXPECT_EQ(TrimWhite(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimWhite("\xE3\x80\x80名\xE3\x80\x80"), "名");  // ideographic spaces
    EXPECT_EQ(TrimWhite("   "), "");
    EXPECT_EQ(ToLowerText("ERR"), "err");
    EXPECT_EQ(ToLowerText("ÄÖ Group 群"), "äö group 群");
    EXPECT_EQ(ToLowerText("A\xffZ"), "a\xffz");
    EXPECT_EQ(Utf16Length("abc"), 3u);
    EXPECT_EQ(Utf16Length("群群"), 2u);
    EXPECT_EQ(Utf16Length("\xF0\x9F\x98\x80"), 2u);
    EXPECT_EQ(TruncateUtf16("ab\xF0\x9F\x98\x80", 3), "ab");  // no half a surrogate pair
    EXPECT_EQ(TruncateUtf16("群群群", 2), "群群");
}

TEST(ParseLeadingInt, ReadsLikeScanningADecimal) {
    const std::pair<const char*, int32_t> cases[] = {
        {"42", 42},           {"  -12x", -12},          {"+7", 7},
        {"007", 7},           {"abc", 0},               {"", 0},
        {"- 5", 0},           {"2147483647", INT32_MAX}, {"99999999999", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-99999999999", INT32_MIN},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ParseLeadingInt(in), out) << in;
    int32_t v = 1;
    EXPECT_FALSE(TryParseLeadingInt("x1", &v));
    EXPECT_FALSE(TryParseLeadingInt("2147483648", &v));
    EXPECT_TRUE(TryParseLeadingInt("100001\r\n", &v));
    EXPECT_EQ(v, 100001);
}

TEST(ParseHostPort, AcceptsHostAndOptionalPortOnly) {
    auto hp = ParseHostPort("127.0.0.1:50001", 80);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->host, "127.0.0.1");
    EXPECT_EQ(hp->port, 50001);
    hp = ParseHostPort("localhost", 80);
    ASSERT_TRUE(hp);
    EXPECT_EQ(hp->port, 80);
    for (const char* bad : {"", ":80", "h:", "h:0", "h:65536", "h:8x", "a/b:1", "u@h:1"}) {
        EXPECT_FALSE(ParseHostPort(bad, 80)) << bad;
    }
}

}  // namespace
}  // namespace norvex
