// The bounded line buffer between the relay engine and a slow reader.
#include "shell/line_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace norvex {
namespace {

TEST(LineBuffer, HoldsItsCapacityInOrderAndCountsWhatItDrops) {
    LineBuffer buf(3);
    std::vector<std::string> out;
    // several rounds, so that the ring wraps
    for (int round = 0; round < 4; ++round) {
        const std::string r = std::to_string(round);
        EXPECT_TRUE(buf.Push("a" + r));
        EXPECT_TRUE(buf.Push("b" + r));
        EXPECT_TRUE(buf.Push("c" + r));
        EXPECT_FALSE(buf.Push("d" + r));
        EXPECT_FALSE(buf.Push("e" + r));
        out.clear();
        EXPECT_EQ(buf.PopAll(out), 3u);
        EXPECT_EQ(out, (std::vector<std::string>{"a" + r, "b" + r, "c" + r}));
        EXPECT_EQ(buf.Dropped(), 2u * (round + 1));
    }
    out.clear();
    EXPECT_EQ(buf.PopAll(out), 0u);
    EXPECT_TRUE(out.empty());
}

TEST(LineBuffer, FastProducerSlowConsumerLosesLinesNotOrder) {
    LineBuffer buf(16);
    constexpr int kLines = 20000;
    std::vector<std::string> got;
    std::thread consumer([&] {
        for (;;) {
            buf.WaitForLines();
            bool closed = buf.Closed();
            if (buf.PopAll(got) == 0 && closed) return;
        }
    });
    int accepted = 0;
    for (int i = 0; i < kLines; ++i) accepted += buf.Push(std::to_string(i)) ? 1 : 0;
    buf.Close();
    consumer.join();
    std::vector<std::string> rest;
    buf.PopAll(rest);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(static_cast<int>(got.size()), accepted);
    EXPECT_EQ(got.size() + buf.Dropped(), static_cast<size_t>(kLines));
    for (size_t i = 1; i < got.size(); ++i) {
        ASSERT_LT(std::stoi(got[i - 1]), std::stoi(got[i])) << "at " << i;
    }
}

TEST(LineBuffer, CloseWakesAWaitingConsumer) {
    LineBuffer buf(4);
    std::thread consumer([&] { buf.WaitForLines(); });
    buf.Close();
    consumer.join();  // would hang if Close did not wake it
    EXPECT_TRUE(buf.Closed());
}

}  // namespace
}  // namespace norvex
