// norvex-relay between a private mosquitto and a pty: bytes both ways, the status messages, the
// counters, the test hook that loses one answer, and a line that takes nothing.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/mosquitto_broker.h"
#include "support/mosquitto_client.h"
#include "support/net_util.h"
#include "support/pty_pair.h"
#include "support/text_file.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

class RelayProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.Ok());
        ASSERT_TRUE(broker_.Start());
        ASSERT_TRUE(watch_.Connect(
            broker_.Port(), "/group/G1/#",
            [this](const std::string& topic, const uint8_t* d, size_t n,
                   MosquittoClient::Clock::time_point) {
                std::lock_guard lock(mutex_);
                seen_.push_back(topic + " " + std::string(reinterpret_cast<const char*>(d), n));
            }));
        std::ofstream(dir_.File("relay.conf"))
            << "# a relay on a pty\nbroker = " << broker_.HostPort()
            << "\ngroup = G1\nport = " << pty_.SlavePath()
            << "\nspeed = 9600\nparity = even\ndevice = 7\n"
            << "iccid = 8986\nimei = 8600\nreconnect_pause_ms = 200\n";
        ASSERT_TRUE(relay_.Start({NORVEX_RELAY_BIN, "--config", dir_.File("relay.conf")}, {},
                                 dir_.File("relay.log")));
        ASSERT_TRUE(WaitFor("/group/G1/client/status baseinfo:7,norvex-relay,1,0,8986,8600,"))
            << Log();
    }

    bool Has(const std::string& line) {
        std::lock_guard lock(mutex_);
        for (const auto& s : seen_)
            if (s == line) return true;
        return false;
    }
    bool WaitFor(const std::string& line) {
        return WaitUntil([&] { return Has(line); }, 10s);
    }
    bool PublishHost(uint16_t seq, const std::string& bytes) {
        std::string p{static_cast<char>(seq & 0xFF), static_cast<char>(seq >> 8)};
        p += bytes;
        return watch_.Publish("/group/G1/host", p.data(), p.size(), 1);
    }
    std::string Log() const { return ReadTextFile(dir_.File("relay.log")); }
    std::string LastStats() const {
        std::string log = Log();
        size_t at = log.rfind("stats:");
        return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
    }

    TempDir dir_;
    PtyPair pty_;
    MosquittoBroker broker_;
    MosquittoClient watch_{"watch"};
    ChildProcess relay_;
    std::mutex mutex_;
    std::vector<std::string> seen_;
};

TEST_F(RelayProgramTest, CarriesBytesBothWaysAndCountsWhatItSkipped) {
    // host to line: the sequence goes, the bytes stay as they were (a gap at 2 is counted)
    ASSERT_TRUE(PublishHost(0, std::string("\x01\x03\x00", 3)));
    ASSERT_TRUE(PublishHost(1, "AB"));
    ASSERT_TRUE(PublishHost(3, "\xFF"));
    auto got = pty_.Read(6, 5000);
    EXPECT_EQ(std::string(got.begin(), got.end()), std::string("\x01\x03\x00"
                                                               "AB\xFF",
                                                               6));

    // line to group: numbered from 0, the test hook uses up number 1
    ASSERT_TRUE(pty_.Write("\x11\x22", 2));
    EXPECT_TRUE(WaitFor("/group/G1/client 00000007,0000,1122"));
    // a signal to a process is pending before kill() returns, and the relay reads its signals
    // before the line: the next packet is the one that goes
    ASSERT_TRUE(relay_.Signal(SIGUSR2));
    ASSERT_TRUE(pty_.Write("\x33", 1));
    // its number is used up once the counters say so; only then may the next bytes come
    const std::string skipped = "0 B with no line, 1 by the test hook";
    ASSERT_TRUE(WaitUntil(
        [&] { return relay_.Signal(SIGUSR1) && Log().find(skipped) != std::string::npos; }, 5s))
        << Log();
    ASSERT_TRUE(pty_.Write("\x44", 1));
    EXPECT_TRUE(WaitFor("/group/G1/client 00000007,0002,44"));
    EXPECT_FALSE(Has("/group/G1/client 00000007,0001,33"));

    relay_.Signal(SIGTERM);
    EXPECT_EQ(relay_.Wait(5s), 0) << Log();
    EXPECT_NE(Log().find("from group 6 B in 3 pkt; host 1 gaps, 0 restarts"), std::string::npos)
        << Log();
}

// The line's far end does not read, so the pty fills: the relay goes on with the group at once,
// and what the line cannot hold is dropped a whole payload at a time and counted.
TEST_F(RelayProgramTest, ALineThatTakesNothingHoldsUpNeitherTheGroupNorAStop) {
    constexpr size_t kPayloads = 200, kSize = 1024;  // far more than the pty and the relay hold
    for (size_t i = 0; i < kPayloads; ++i)
        ASSERT_TRUE(
            PublishHost(static_cast<uint16_t>(i), std::string(kSize, static_cast<char>(i))));
    const std::string all = "in " + std::to_string(kPayloads) + " pkt";
    ASSERT_TRUE(WaitUntil(
        [&] { return relay_.Signal(SIGUSR1) && LastStats().find(all) != std::string::npos; }, 10s))
        << Log();
    ASSERT_TRUE(pty_.Write("\x55", 1));
    EXPECT_TRUE(WaitFor("/group/G1/client 00000007,0000,55"));

    // read at last: the held rest follows what the pty had, and no payload arrives cut or late
    std::vector<uint8_t> got = pty_.Read(kPayloads * kSize, 2000);
    ASSERT_GT(got.size(), 0u);
    ASSERT_LT(got.size(), kPayloads * kSize);
    ASSERT_EQ(got.size() % kSize, 0u);
    int last = -1;
    for (size_t at = 0; at < got.size(); at += kSize) {
        ASSERT_EQ(std::count(got.begin() + at, got.begin() + at + kSize, got[at]), kSize) << at;
        ASSERT_GT(static_cast<int>(got[at]), last) << at;
        last = got[at];
    }

    relay_.Signal(SIGTERM);
    EXPECT_EQ(relay_.Wait(5s), 0) << Log();
    const std::string stats = LastStats();
    EXPECT_NE(stats.find("from group " + std::to_string(got.size()) + " B " + all),
              std::string::npos)
        << stats;
    EXPECT_NE(stats.find(std::to_string(kPayloads * kSize - got.size()) + " B with no line"),
              std::string::npos)
        << stats;
}

}  // namespace
}  // namespace norvex::test
