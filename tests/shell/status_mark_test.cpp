#include "shell/status_mark.h"

#include <gtest/gtest.h>

namespace norvex {
namespace {

struct StatusCase {
    const char* what;
    uint32_t now;
    uint32_t lastHeard;
    std::string_view expected;
};

TEST(RelayStatusMark, FollowsTheOfflineLimitInUnsigned32BitTicks) {
    const StatusCase cases[] = {
        {"never heard leaves the row alone", 5000, kNeverHeard, ""},
        {"heard just now", 1000, 1000, "√"},
        {"one millisecond before the limit", 224999 + 7, 7, "√"},
        {"at the limit", 225000 + 7, 7, "×"},
        {"long gone", 3600000, 7, "×"},
        {"before the limit across the wrap", 0xFFFFF000u + 224999u, 0xFFFFF000u, "√"},
        {"at the limit across the wrap", 0xFFFFF000u + 225000u, 0xFFFFF000u, "×"},
        {"heard at tick 0xFFFFFFFE, now 5", 5, 0xFFFFFFFEu, "√"},
    };
    for (const StatusCase& c : cases) {
        EXPECT_EQ(RelayStatusMark(c.now, c.lastHeard), c.expected) << c.what;
    }
}

TEST(RelayStatusMark, HonoursAShortenedLimit) {
    EXPECT_EQ(RelayStatusMark(1999, 1000, 1000), "√");
    EXPECT_EQ(RelayStatusMark(2000, 1000, 1000), "×");
}

}  // namespace
}  // namespace norvex
