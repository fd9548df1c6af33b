#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus_rig.h"

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
    EXPECT_EQ(regs1[0], 2);
    EXPECT_EQ(regs2[0], 3);
}

}  // namespace
}  // namespace norvex::test
