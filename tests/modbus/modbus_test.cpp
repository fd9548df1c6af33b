#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "modbus_rig.h"
#include "support/net_util.h"
#include "support/text_file.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

// mbpoll's reference n is register n - 1; register 0 counts the slave's answers.
std::vector<std::string> ReadArgs(int unit, int ref, int count) {
    return {"-a", std::to_string(unit),  "-r", std::to_string(ref),
            "-c", std::to_string(count), "-1"};
}

std::vector<std::string> WriteArgs(int unit, int ref) {
    return {"-a", std::to_string(unit), "-r", std::to_string(ref), "-1"};
}

// The values of one mbpoll read, by reference; empty when it failed.
std::map<int, long> ReadOnce(ModbusRig& rig, int unit, int ref, int count) {
    std::string out;
    if (RunMbpoll(rig.Port(), ReadArgs(unit, ref, count), &out) != 0) return {};
    std::vector<MbpollPoll> polls = ParseMbpollOutput(out);
    return polls.size() == 1 && polls[0].Ok() ? polls[0].values : std::map<int, long>{};
}

TEST(ModbusEndToEnd, ReadsAndWritesReachTheAddressedSlaveOnlyAndFullFramesPassBothWays) {
    ModbusRig rig({});
    ASSERT_TRUE(rig.Ok()) << rig.Why();
    // the rig's own reads that found the chain up
    const long answered1 = rig.Slave(1).Registers().at(0);
    const long answered2 = rig.Slave(2).Registers().at(0);

    struct Write {
        int unit;
        int ref;
        std::vector<long> values;
    };
    std::vector<long> full(123);  // the largest write: a 255-byte request
    for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<long>(40000 + i);
    const std::vector<Write> writes = {
        {1, 3, {111, 222}},
        {2, 3, {333}},
        {2, 2, full},
    };
    for (const Write& w : writes) {
        std::string out;
        EXPECT_EQ(RunMbpoll(rig.Port(), WriteArgs(w.unit, w.ref), &out, w.values), 0) << out;
    }

    // unit 1 kept its own register 3 and its untouched neighbours
    std::map<int, long> one = ReadOnce(rig, 1, 2, 4);
    EXPECT_EQ(one, (std::map<int, long>{{2, 1001}, {3, 111}, {4, 222}, {5, 1004}}));
    // the largest read: a 255-byte answer
    std::map<int, long> two = ReadOnce(rig, 2, 1, 125);
    ASSERT_EQ(two.size(), 125u);
    for (int ref = 2; ref <= 124; ++ref) EXPECT_EQ(two[ref], full[ref - 2]) << ref;
    EXPECT_EQ(two[125], 2124);

    // the slaves themselves: each write was carried out once, by the addressed slave
    std::vector<long> regs1 = rig.Slave(1).Registers();
    std::vector<long> regs2 = rig.Slave(2).Registers();
    ASSERT_EQ(regs1.size(), 125u);
    ASSERT_EQ(regs2.size(), 125u);
    EXPECT_EQ(regs1[2], 111);
    EXPECT_EQ(regs1[3], 222);
    EXPECT_EQ(regs2[1], 40000);
    EXPECT_EQ(regs2[123], 40122);
    EXPECT_EQ(rig.Slave(1).Writes().size(), 1u);
    EXPECT_EQ(rig.Slave(2).Writes().size(), 2u);
    // answers counted: unit 1 one write and one read, unit 2 two writes and one read
    EXPECT_EQ(regs1[0] - answered1, 2);
    EXPECT_EQ(regs2[0] - answered2, 3);
}

// mbpoll polling both units without end: holding registers 0 and 1 of each, every 50 ms, a
// second to answer (the profile's stale limit, so that no request outlives its poll).
const std::vector<std::string> kPollBoth = {"-a", "1,2", "-r", "1", "-c", "2", "-l", "50"};
constexpr size_t kSteadyPolls = 10;

std::vector<MbpollPoll> PollsOf(const std::vector<MbpollPoll>& polls, int unit) {
    std::vector<MbpollPoll> out;
    for (const MbpollPoll& p : polls)
        if (p.unit == unit) out.push_back(p);
    return out;
}

size_t CountFalse(const std::vector<bool>& v) {
    return static_cast<size_t>(std::count(v.begin(), v.end(), false));
}

// Loses relay 1's next answer while both units are polled; the polls of unit 1 from then on.
std::vector<bool> LoseOneAnswer(ModbusRig& rig, MbpollPoller& poller, size_t pollsAfter) {
    EXPECT_TRUE(poller.WaitPolls(kSteadyPolls, 20s));
    std::vector<MbpollPoll> steadyPolls = poller.Polls();
    EXPECT_TRUE(rig.Relay(1).Signal(SIGUSR2));
    EXPECT_TRUE(poller.WaitPolls(steadyPolls.size() + pollsAfter, 60s));
    std::vector<bool> fresh = FreshAnswers(poller.Polls(), 1);
    size_t steady = PollsOf(steadyPolls, 1).size();
    EXPECT_EQ(CountFalse(std::vector<bool>(fresh.begin(), fresh.begin() + steady)), 0u)
        << "polling was not steady before the loss";
    return std::vector<bool>(fresh.begin() + steady, fresh.end());
}

// Writes register 10 of unit 1 while the broker is down, then brings the broker back and
// waits 1.5 s; whether the slave carried the write out.
bool WriteDuringOutageExecuted(ModbusRig& rig, long value) {
    size_t links = rig.BrokerLinks();
    rig.Group().Broker().Stop();
    std::this_thread::sleep_for(200ms);
    std::string out;
    EXPECT_NE(RunMbpoll(rig.Port(), WriteArgs(1, 11), &out, {value}), 0)
        << "the write cannot be answered while the broker is down\n"
        << out;
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(rig.Group().Broker().Start());
    EXPECT_TRUE(rig.WaitBrokerLink(links + 1, 20s)) << rig.NorvexdLog();
    EXPECT_TRUE(rig.WaitAnswers(20s));
    std::this_thread::sleep_for(1500ms);
    std::vector<long> regs = rig.Slave(1).Registers();
    EXPECT_EQ(regs.size(), 125u);
    return regs.size() > 10 && regs[10] == value;
}

// Kills the broker for 1.5 s while both units are polled; the polls after it is back.
std::vector<MbpollPoll> PollThroughOutage(ModbusRig& rig, MbpollPoller& poller) {
    EXPECT_TRUE(poller.WaitPolls(kSteadyPolls, 20s));
    size_t links = rig.BrokerLinks();
    rig.Group().Broker().Stop();
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(rig.Group().Broker().Start());
    EXPECT_TRUE(rig.WaitBrokerLink(links + 1, 20s)) << rig.NorvexdLog();
    size_t back = poller.Polls().size();
    EXPECT_TRUE(poller.WaitPolls(back + 20, 30s));
    std::vector<MbpollPoll> polls = poller.Polls();
    return std::vector<MbpollPoll>(polls.begin() + back, polls.end());
}

// norvexd's count of serial bytes dropped as stale, from a stats line asked for now; -1 when
// none came.
long StaleBytes(ModbusRig& rig) {
    size_t before = CountOf(rig.NorvexdLog(), "stats: ");
    if (!rig.Norvexd().Signal(SIGUSR1) ||
        !WaitUntil([&] { return CountOf(rig.NorvexdLog(), "stats: ") > before; }, 5s)) {
        return -1;
    }
    std::string log = rig.NorvexdLog();
    std::string line = log.substr(log.rfind("stats: "));
    line = line.substr(0, line.find('\n'));
    size_t at = line.find(" B stale");
    if (at == std::string::npos) return 0;  // shown once there is any
    size_t start = line.rfind(' ', at - 1) + 1;
    return std::atol(line.c_str() + start);
}

TEST(ModbusEndToEnd, WithTheProfilePollingRecoversFromALostAnswerAndAnOutageDropsItsWrite) {
    ModbusRig rig({{"--profile", "request-response"}});
    ASSERT_TRUE(rig.Ok()) << rig.Why();
    {
        MbpollPoller poller(rig.Port(), kPollBoth, rig.Group().Scratch("mbpoll-loss.log"));
        ASSERT_TRUE(poller.Started());
        std::vector<bool> after = LoseOneAnswer(rig, poller, 20);
        // the lost answer's poll fails; the next answer is written once the wait for the lost
        // one is over, in time for its own poll
        EXPECT_LE(CountFalse(after), 2u);
        std::cout << "with the profile, after one lost answer: " << CountFalse(after) << " of "
                  << after.size() << " polls of unit 1 without a fresh answer\n";
        ASSERT_GE(after.size(), 5u);
        EXPECT_EQ(CountFalse(std::vector<bool>(after.end() - 5, after.end())), 0u);
    }
    {
        MbpollPoller poller(rig.Port(), kPollBoth, rig.Group().Scratch("mbpoll-outage.log"));
        ASSERT_TRUE(poller.Started());
        std::vector<MbpollPoll> back = PollThroughOutage(rig, poller);
        ASSERT_GE(back.size(), 12u);
        for (auto p = back.end() - 12; p != back.end(); ++p)
            EXPECT_TRUE(p->Ok()) << "unit " << p->unit << ": " << p->failure;
        size_t failed = 0;
        for (const MbpollPoll& p : back) failed += p.Ok() ? 0 : 1;
        std::cout << "with the profile, after a 1.5 s outage: " << failed << " of " << back.size()
                  << " polls failed\n";
    }
    long staleBefore = StaleBytes(rig);
    EXPECT_FALSE(WriteDuringOutageExecuted(rig, 4242))
        << "a write its master was told had failed was carried out";
    EXPECT_TRUE(rig.Slave(1).Writes().empty());
    // and it was norvexd that dropped it, not a relay that was not back yet
    long staleAfter = StaleBytes(rig);
    EXPECT_GT(staleAfter, staleBefore) << rig.NorvexdLog();
    std::cout << "with the profile, stale bytes dropped: " << staleBefore << " after the outage, "
              << staleAfter << " after the write\n";
}

// Without the profile the ordered delivery holds a relay's packets behind a lost one until four
// wait: the lost answer's poll and the next three of that unit fail.  What follows is printed.
TEST(ModbusEndToEnd, WithoutTheProfileALostAnswerHoldsTheNextThreeInTheFourSlots) {
    ModbusRig rig({});
    ASSERT_TRUE(rig.Ok()) << rig.Why();
    {
        MbpollPoller poller(rig.Port(), kPollBoth, rig.Group().Scratch("mbpoll-loss.log"));
        ASSERT_TRUE(poller.Started());
        std::vector<bool> after = LoseOneAnswer(rig, poller, 24);
        ASSERT_GE(after.size(), 4u);
        EXPECT_EQ(CountFalse(std::vector<bool>(after.begin(), after.begin() + 4)), 4u);
        std::cout << "without the profile, after one lost answer: " << CountFalse(after) << " of "
                  << after.size() << " polls of unit 1 without a fresh answer\n";
    }
    {
        MbpollPoller poller(rig.Port(), kPollBoth, rig.Group().Scratch("mbpoll-outage.log"));
        ASSERT_TRUE(poller.Started());
        std::vector<MbpollPoll> back = PollThroughOutage(rig, poller);
        size_t failed = 0;
        for (const MbpollPoll& p : back) failed += p.Ok() ? 0 : 1;
        std::cout << "without the profile, after a 1.5 s outage: " << failed << " of "
                  << back.size() << " polls failed\n";
    }
    std::cout << "without the profile, a write sent during an outage was "
              << (WriteDuringOutageExecuted(rig, 4343) ? "" : "not ") << "carried out\n";
}

}  // namespace
}  // namespace norvex::test
