// Query encoding: what the service sees of the user's text.
#include "groupservice/url_encode.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace norvex {
namespace {

TEST(UrlEncodeUtf8, EscapesOnlyBytesAbove0x7FInLowerCase) {
    const std::pair<std::string, std::string> cases[] = {
        {"/a?x=群", "/a?x=%e7%be%a4"},
        {"a b&c=d?#+%", "a b&c=d?#+%"},
        {"Ä", "%c3%84"},
        {"\xF0\x9F\x98\x80", "%f0%9f%98%80"},
        {"bad\xff", "bad\xff"},            // not UTF-8: unchanged
        {std::string("ab\0cd", 5), "ab"},  // up to the terminator
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(UrlEncodeUtf8(in), out) << in;
}

TEST(EscapeQueryValue, EscapesEverythingThatCouldChangeTheQuery) {
    const std::pair<std::string, std::string> cases[] = {
        {"p&pwd=x% y", "p%26pwd%3Dx%25%20y"}, {"#+?", "%23%2B%3F"}, {"\t\r\n\x7f", "%09%0D%0A%7F"},
        {"Abc-_.~/:,|", "Abc-_.~/:,|"},       {"群", "群"},  // left for UrlEncodeUtf8
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EscapeQueryValue(in), out) << in;
    EXPECT_EQ(UrlEncodeUtf8(EscapeQueryValue("群 1")), "%e7%be%a4%201");
}

}  // namespace
}  // namespace norvex
