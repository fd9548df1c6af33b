// relay-sim against a private mosquitto, observed and driven with the broker's own clients.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/mosquitto_broker.h"
#include "support/net_util.h"
#include "support/text_file.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class RelaySimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        ASSERT_TRUE(broker_.Start());
        // a watcher of the relays' two topics, started first so that it sees everything
        // line-buffered, so that the file shows each line as it comes
        ASSERT_TRUE(sub_.Start({"/usr/bin/stdbuf", "-oL", "/usr/bin/mosquitto_sub", "-h",
                                "127.0.0.1", "-p", std::to_string(broker_.Port()), "-d", "-v", "-q",
                                "1", "-t", "/group/G1/client", "-t", "/group/G1/client/status"},
                               {}, dir_.File("sub.txt")));
        ASSERT_TRUE(WaitUntil([&] { return Contains(Sub(), "SUBACK"); }, 5s)) << Sub();
    }

    bool StartSim(std::vector<std::string> extra) {
        std::vector<std::string> argv = {RELAY_SIM_BIN, "--broker", broker_.HostPort(), "--group",
                                         "G1"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return sim_.Start(argv, {}, dir_.File("sim.txt"));
    }

    // Publishes one host payload (sequence, then bytes) as the bridge would.
    bool PublishHost(uint16_t seq, const std::string& bytes) {
        std::string payload{static_cast<char>(seq & 0xFF), static_cast<char>(seq >> 8)};
        payload += bytes;
        std::ofstream(dir_.File("host.bin"), std::ios::binary) << payload;
        return broker_.Publish({"-q", "1", "-t", "/group/G1/host", "-f", dir_.File("host.bin")},
                               5s);
    }

    std::string Sub() const { return ReadTextFile(dir_.File("sub.txt")); }
    std::string Sim() const { return ReadTextFile(dir_.File("sim.txt")); }

    TempDir dir_;
    MosquittoBroker broker_;
    ChildProcess sub_;
    ChildProcess sim_;
};

TEST_F(RelaySimTest, RelaysAnnounceThemselvesPingAndEchoInReorderedNumberedPackets) {
    ASSERT_TRUE(
        StartSim({"--devids", "7,9", "--ping-ms", "100", "--chunk", "2", "--reorder", "3"}));
    ASSERT_TRUE(WaitUntil(
        [&] { return Contains(Sim(), "relay 7 ready") && Contains(Sim(), "relay 9 ready"); }, 5s))
        << Sim();
    ASSERT_TRUE(WaitUntil([&] { return Contains(Sub(), "pingack:9"); }, 5s)) << Sub();
    // relay 7's baseinfo and relay 9's pings come over different connections: wait for it too
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Contains(
                Sub(), "/group/G1/client/status baseinfo:7,relay-sim,1,0,89861000007,862000007,");
        },
        5s))
        << Sub();

    // "ABCDE" in 2-byte packets numbered 1, 2, 3, published in reverse
    ASSERT_TRUE(PublishHost(0x0102, "ABCDE"));
    const std::string expected =
        "/group/G1/client 00000007,0003,45\n"
        "/group/G1/client 00000007,0002,4344\n"
        "/group/G1/client 00000007,0001,4142\n";
    // each relay's last packet, as the two come over different connections
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Contains(Sub(), "00000007,0001,4142") && Contains(Sub(), "00000009,0001,4142");
        },
        5s))
        << Sub();
    // the two relays' packets interleave; each relay's own stay in their order
    std::string relay7;
    std::string all = Sub();
    for (size_t at = 0, nl; (nl = all.find('\n', at)) != std::string::npos; at = nl + 1) {
        std::string line = all.substr(at, nl - at + 1);
        if (Contains(line, "/group/G1/client 00000007,")) relay7 += line;
    }
    EXPECT_EQ(relay7, expected);

    ASSERT_TRUE(sim_.Signal(SIGTERM));
    int status = sim_.Wait(5s);
    ASSERT_NE(status, -1) << "relay-sim did not end on SIGTERM";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Contains(Sim(), "relay 7: 1 host messages, 3 packets sent")) << Sim();
}

TEST_F(RelaySimTest, DuplicatesOnRequestFallsSilentAndEndsAfterItsDuration) {
    ASSERT_TRUE(StartSim({"--ping-ms", "0", "--duplicate", "--lower", "--first-packet", "65535",
                          "--duration-ms", "20000", "-v"}));
    ASSERT_TRUE(WaitUntil([&] { return Contains(Sim(), "relay 1 ready"); }, 5s)) << Sim();
    ASSERT_TRUE(PublishHost(0, std::string("\x00\xff", 2)));
    ASSERT_TRUE(WaitUntil([&] { return CountOf(Sub(), "client 00000001,ffff,00ff\n") == 2; }, 5s))
        << Sub();

    // silenced relays take host data but answer nothing; the number after 65535 is 1, not 0
    ASSERT_TRUE(sim_.Signal(SIGUSR1));
    ASSERT_TRUE(WaitUntil([&] { return Contains(Sim(), "relays silent"); }, 5s));
    ASSERT_TRUE(PublishHost(1, "x"));
    ASSERT_TRUE(WaitUntil([&] { return Contains(Sim(), "host seq 1, 1 bytes"); }, 5s)) << Sim();
    ASSERT_TRUE(sim_.Signal(SIGUSR2));
    ASSERT_TRUE(WaitUntil([&] { return Contains(Sim(), "relays answering"); }, 5s));
    ASSERT_TRUE(PublishHost(2, "y"));
    ASSERT_TRUE(WaitUntil([&] { return Contains(Sub(), "00000001,0001,79"); }, 5s)) << Sub();
    EXPECT_FALSE(Contains(Sub(), ",78")) << "a silent relay answered";

    ASSERT_TRUE(sim_.Signal(SIGINT));
    ASSERT_NE(sim_.Wait(5s), -1);
    EXPECT_TRUE(Contains(Sim(), "relay 1: 3 host messages, 4 packets sent")) << Sim();
}

TEST_F(RelaySimTest, SendsPipedDataWithBadAndLateCopiesAndHandsOnHostData) {
    std::ofstream(dir_.File("data.bin"), std::ios::binary) << "ABCDEFGHIJKL";
    ASSERT_TRUE(StartSim({"--ping-ms", "0", "--no-echo", "--chunk", "1", "--data-in",
                          dir_.File("data.bin"), "--host-out", dir_.File("host-out.bin"),
                          "--late-every", "3", "--bad-every", "4"}));
    // every 4th packet is followed by a copy whose digits are not hex, every 3rd (once eight
    // were sent) by the packet sent eight before it
    const std::string expected =
        "0001,41 0002,42 0003,43 0004,44 0004,G! 0005,45 0006,46 0007,47 0008,48 0008,G! 0009,49 "
        "0001,41 000A,4A 000B,4B 000C,4C 000C,G! 0004,44 ";
    std::string got;
    ASSERT_TRUE(WaitUntil(
        [&] {
            got.clear();
            const std::string all = Sub();
            const std::string prefix = "/group/G1/client 00000001,";
            for (size_t at = all.find(prefix); at != std::string::npos;
                 at = all.find(prefix, at + 1)) {
                size_t begin = at + prefix.size();
                got += all.substr(begin, all.find('\n', begin) - begin) + " ";
            }
            return got.size() >= expected.size();
        },
        5s))
        << got;
    EXPECT_EQ(got, expected);

    ASSERT_TRUE(PublishHost(5, "xyz"));
    ASSERT_TRUE(WaitUntil([&] { return ReadTextFile(dir_.File("host-out.bin")) == "xyz"; }, 5s))
        << ReadTextFile(dir_.File("host-out.bin"));
}

TEST(RelaySimOptions, BadOptionsAreRefusedWithUsage) {
    TempDir dir;
    for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                                 {"--group", "G", "--chunk", "65"},
                                                 {"--group", "G", "--broker", "x:0"},
                                                 {"--group", "G", "--relays"},
                                                 {"--group", "G", "--bogus"}}) {
        std::vector<std::string> argv = {RELAY_SIM_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess sim;
        ASSERT_TRUE(sim.Start(argv, {}, dir.File("out.txt")));
        int status = sim.Wait(5s);
        ASSERT_NE(status, -1);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
        EXPECT_TRUE(Contains(ReadTextFile(dir.File("out.txt")), "usage:"));
    }
}

}  // namespace
}  // namespace norvex::test
