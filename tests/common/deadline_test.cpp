#include "common/deadline.h"

#include <gtest/gtest.h>

#include <climits>

namespace norvex {
namespace {

TEST(Deadline, TickLimitRunsOutAcrossTheWrapAndNeverGoesNegative) {
    struct Case {
        uint32_t now, since, limit, left;
    };
    const Case cases[] = {
        {1000, 1000, 20, 20},             // just begun
        {1019, 1000, 20, 1},              // one ms to go
        {1020, 1000, 20, 0},              // run out exactly
        {5000, 1000, 20, 0},              // long past: 0, not a wrapped huge value
        {5, 0xFFFFFFF6u, 20, 5},          // the counter wrapped 15 ms after since
        {0xFFFFFFFFu, 0xFFFFFFF0u, 0, 0}  // no limit at all
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TickMsLeft(c.now, c.since, c.limit), c.left)
            << c.now << " " << c.since << " " << c.limit;
    }
}

TEST(Deadline, SteadyDeadlineIsClampedForPoll) {
    using Clock = std::chrono::steady_clock;
    EXPECT_EQ(MsLeft(Clock::now() - std::chrono::seconds(1)), 0);
    EXPECT_EQ(MsLeft(Clock::now() - std::chrono::hours(1000)), 0);
    // beyond what poll() takes: the most it takes, not a wrapped value
    EXPECT_EQ(MsLeft(Clock::now() + std::chrono::hours(1000)), INT_MAX);
}

}  // namespace
}  // namespace norvex
