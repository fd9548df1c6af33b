// The bounded line buffer between the relay engine and a slow reader.
#include "shell/line_buffer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "shell/trace_writer.h"

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

TEST(TraceWriter, StuckOutputCostsTraceLinesNeverTheEngine) {
    int p[2];
    ASSERT_EQ(::pipe2(p, O_CLOEXEC), 0);
    const uint8_t bytes[64] = {0x01, 0x03};
    auto writer = std::make_unique<TraceWriter>(p[1], 64);
    TraceHook hook = writer->Hook();
    // nobody reads the pipe: it fills, the writer thread blocks in write(), the hook does not
    constexpr int kChunks = 20000;
    for (int i = 0; i < kChunks; ++i) {
        TraceRecord r;
        r.sequence = static_cast<uint16_t>(i);
        r.data = bytes;
        r.length = sizeof bytes;
        hook(r);
    }
    EXPECT_GT(writer->Dropped(), 0u);
    // drain the pipe while the writer finishes, then count what came out
    std::string out;
    std::thread reader([&] {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(p[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    });
    const uint64_t dropped = writer->Dropped();
    writer.reset();
    ::close(p[1]);
    reader.join();
    ::close(p[0]);
    size_t lines = 0;
    uint64_t reportedDropped = 0;
    for (size_t at = 0, nl; (nl = out.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = out.substr(at, nl - at);
        if (line.rfind("trace: ", 0) == 0) {
            reportedDropped += std::stoull(line.substr(7));
        } else {
            ++lines;
            EXPECT_NE(line.find(" to-group "), std::string::npos) << line;
        }
    }
    EXPECT_EQ(reportedDropped, dropped) << "every dropped line is reported";
    EXPECT_EQ(lines + dropped, static_cast<size_t>(kChunks));
}

}  // namespace
}  // namespace norvex
