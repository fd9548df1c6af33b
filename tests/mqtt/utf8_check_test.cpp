// The UTF-8 check every text on the wire goes through.
#include <gtest/gtest.h>

#include "wire_fixture.h"

namespace norvex::test {
namespace {

struct Utf8Case {
    const char* name;
    const char* hex;
    int32_t length;  // what the caller claims
    int32_t expected;
};

const Utf8Case kCases[] = {
    {"empty", "", 0, 0},
    {"ascii", "61 62 63", 3, 3},
    {"two_byte", "C3 A9", 2, 2},
    {"three_byte", "E4 B8 AD", 3, 3},
    {"four_byte_max", "F4 8F BF BF", 4, 4},
    {"mixed", "61 C3 A9 E4 B8 AD F0 9F 98 80", 10, 10},
    {"overlong_nul", "C0 80", 2, -6},
    {"overlong_c1", "C1 BF", 2, -6},
    {"overlong_three", "E0 80 80", 3, -6},
    {"overlong_four", "F0 80 80 80", 4, -6},
    {"surrogate", "ED A0 80", 3, -6},
    {"above_10ffff", "F4 90 80 80", 4, -6},
    {"lone_continuation", "80", 1, -6},
    {"lead_f5", "F5", 1, -6},
    {"five_byte_form", "F8 88 80 80 80", 5, -6},
    {"six_byte_form", "FC 84 80 80 80 80", 6, -6},
    {"truncated_three", "E4 B8", 2, -6},
    {"bad_continuation", "C3 28", 2, -6},
    {"nul_inside", "61 62 00 63", 4, 2},
    {"nul_first", "00 61", 2, 0},
    {"length_short_of_text", "61 62 63", 2, 2},
};

void PrintTo(const Utf8Case& c, std::ostream* os) {
    *os << c.name;
}

class Utf8Table : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Table, WalksOrRefuses) {
    const Utf8Case& c = GetParam();
    Bytes b = Hex(c.hex);
    // exactly `length` bytes on the heap: a read past them is caught by the sanitizer
    std::vector<char> text(b.begin(), b.begin() + c.length);
    EXPECT_EQ(mqtt::Utf8CheckedLength(text.data(), c.length), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8Table, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace norvex::test
