// UTF-8 repair, UTF-16 measures, white space and case, decimal scanning: text from outside.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "common/decimal.h"
#include "common/unicode_text.h"
#include "common/utf16_units.h"
#include "common/utf8.h"

namespace norvex {
namespace {

#define FFFD "\xEF\xBF\xBD"

TEST(Utf8, EveryIllFormedPieceBecomesOneReplacementOfOneUnit) {
    struct Case {
        std::string in;
        std::string repaired;
        size_t units;
    } cases[] = {
        {"plain", "plain", 5},
        {"群", "群", 1},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 2},  // above U+FFFF: a surrogate pair
        {std::string("a\0b", 3), std::string("a\0b", 3), 3},
        {"\xff", FFFD, 1},
        {"\x80", FFFD, 1},                             // a lone continuation byte
        {"\xe7\xbe", FFFD, 1},                         // cut at the end
        {"\xe7\xbe\x61", FFFD "a", 2},                 // cut in the middle ("\x61": a)
        {"\xf0\x9f\x98", FFFD, 1},                     // four-byte character cut
        {"\xc0\xaf", FFFD FFFD, 2},                    // overlong
        {"\xe0\x80\xaf", FFFD FFFD FFFD, 3},           // overlong
        {"\xed\xa0\x80", FFFD FFFD FFFD, 3},           // surrogate
        {"\xf4\x90\x80\x80", FFFD FFFD FFFD FFFD, 4},  // above U+10FFFF
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToValidUtf8(c.in), c.repaired) << c.in;
        EXPECT_EQ(IsValidUtf8(c.in), c.in == c.repaired) << c.in;
        EXPECT_EQ(Utf16Units(c.in), c.units) << c.in;
    }
    EXPECT_EQ(BeforeNul(std::string("a\0b", 3)), "a");
}

TEST(Utf16Units, CutNeverSplitsACharacterOrAnIllFormedPiece) {
    struct Case {
        std::string in;
        size_t max;
        std::string out;
    } cases[] = {
        {"ab\xF0\x9F\x98\x80", 3, "ab"},  // no half a surrogate pair
        {"ab\xF0\x9F\x98\x80", 4, "ab\xF0\x9F\x98\x80"},
        {"群群群", 2, "群群"},
        {"abc", 0, ""},
        {"a\xe7\xbe\x62", 2, "a\xe7\xbe"},  // an ill-formed piece is one unit, kept whole
        {"", 5, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(CutToUtf16Units(c.in, c.max), c.out) << c.in;
}

TEST(UnicodeText, TrimsUnicodeSpacesAndLowersUnicodeLetters) {
    const std::pair<std::string, std::string> trims[] = {
        {" \t a b \r\n", "a b"},
        {"\xE3\x80\x80名\xE3\x80\x80", "名"},  // ideographic spaces
        {"   ", ""},
        {" a\xff ", "a\xff"},  // an ill-formed byte is not space, and stays
    };
    for (const auto& [in, out] : trims) EXPECT_EQ(TrimWhite(in), out) << in;
    const std::pair<std::string, std::string> lowers[] = {
        {"ERR", "err"},
        {"ÄÖ Group 群", "äö group 群"},
        {"A\xffZ", "a\xffz"},
    };
    for (const auto& [in, out] : lowers) EXPECT_EQ(ToLowerText(in), out) << in;
}

TEST(ScanDecimal, ReadsLikeTheCLibraryAndSaturates) {
    struct Case {
        const char* in;
        int32_t value;
        bool digits;
        bool fits;
    } cases[] = {
        {"42", 42, true, true},
        {" \t-12x", -12, true, true},
        {"+7", 7, true, true},
        {"007", 7, true, true},
        {"", 0, false, true},
        {"- 5", 0, false, true},
        {"2147483647", INT32_MAX, true, true},
        {"2147483648", INT32_MAX, true, false},
        {"99999999999999999999", INT32_MAX, true, false},
        {"-2147483648", INT32_MIN, true, true},
        {"-2147483649", INT32_MIN, true, false},
        {"-99999999999999999999", INT32_MIN, true, false},
    };
    for (const auto& c : cases) {
        bool digits = !c.digits;
        bool fits = !c.fits;
        EXPECT_EQ(ScanDecimal(c.in, &digits, &fits), c.value) << c.in;
        EXPECT_EQ(digits, c.digits) << c.in;
        EXPECT_EQ(fits, c.fits) << c.in;
    }
}

}  // namespace
}  // namespace norvex
