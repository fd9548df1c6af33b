// norvexd's virtual port and its traffic reports against the real stack: a private mosquitto,
// norvex-groupd, relay-sim and a user's program (Python, termios) on the virtual port.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "fullstack_rig.h"
#include "support/net_util.h"
#include "support/port_program.h"
#include "support/prom_text.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

class Service {
public:
    Service(GroupRig& rig, std::vector<std::string> args) : log_(rig.Scratch("norvexd.log")) {
        args.insert(args.begin(), {ProgramPath("norvexd"), "--config", rig.ConfigPath()});
        started_ = proc_.Start(args, rig.Env(), log_);
    }
    bool Started() const { return started_; }
    std::string Log() const { return ReadTextFile(log_); }
    size_t Count(const std::string& needle) const {
        std::string log = Log();
        size_t n = 0;
        for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
            ++n;
        return n;
    }
    bool WaitFor(const std::string& needle, std::chrono::milliseconds limit, size_t times = 1) {
        return WaitUntil([&] { return Count(needle) >= times; }, limit);
    }
    // The latest "stats:" line, after asking for one with SIGUSR1.
    std::string Stats() {
        size_t before = Count("stats: ");
        proc_.Signal(SIGUSR1);
        WaitFor("stats: ", 10s, before + 1);
        std::string log = Log();
        size_t at = log.rfind("stats: ");
        return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
    }
    ChildProcess& Proc() { return proc_; }

private:
    std::string log_;
    ChildProcess proc_;
    bool started_ = false;
};

// The number in a stats line after `before` and before `after` ("to group ", " B").
uint64_t StatsNumber(const std::string& line, const std::string& before) {
    size_t at = line.find(before);
    return at == std::string::npos ? ~0ull
                                   : std::strtoull(line.c_str() + at + before.size(), nullptr, 10);
}

bool PublishAsRelay(GroupRig& rig, uint32_t senderKey, uint16_t packet, const std::string& hex) {
    char head[32];
    std::snprintf(head, sizeof head, "%08X,%04X,", senderKey, packet);
    return RunProgram({NORVEX_MOSQUITTO_PUB_BIN, "-h", "127.0.0.1", "-p",
                       std::to_string(rig.Broker().Port()), "-q", "1", "-t",
                       "/group/" + rig.GroupId() + "/client", "-m", head + hex},
                      {}, nullptr, 10s) == 0;
}

// Writes request until its echo comes back (the relay may not be subscribed yet).
bool RoundTrip(PortProgram& program, const Bytes& request) {
    return WaitUntil(
        [&] { return program.Write(request) && program.Read(request.size(), 1000) == request; },
        30s);
}

const Bytes kRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
const Bytes kDuringOutage = {0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B};
const Bytes kAfterOutage = {0x01, 0x10, 0x00, 0x01, 0x00, 0x01, 0x02, 0x00, 0x0A, 0x5B, 0x7E};

TEST(Traffic, UserProgramOnTheVirtualPortThroughABrokerOutage) {
    GroupRig rig;
    ASSERT_TRUE(rig.Ok());
    // the configuration names a serial port; --virtual-port takes its place
    ASSERT_TRUE(rig.CreateGroup("/dev/ttyS-not-used"));
    const std::string link = rig.Scratch("run/norvex/ttyNorvex0");
    const std::string trace = rig.Scratch("trace.log");
    const std::string metrics = rig.Scratch("norvex.prom");
    Service service(rig, {"--virtual-port", link, "--trace-file", trace, "--metrics-file", metrics,
                          "--stats-interval", "1"});
    ASSERT_TRUE(service.Started());
    ASSERT_TRUE(WaitUntil([&] { return ::access(metrics.c_str(), R_OK) == 0; }, 20s))
        << service.Log();
    ASSERT_TRUE(service.WaitFor("button: 运行中，点击停止", 20s, 2)) << service.Log();

    ChildProcess relay;
    ASSERT_TRUE(relay.Start({ProgramPath("relay-sim"), "--group", rig.GroupId(), "--devids", "1",
                             "--ping-ms", "500", "--broker", rig.Broker().HostPort()},
                            rig.Env(), rig.Scratch("relay.log")));
    PortProgram program(link);
    ASSERT_TRUE(program.Open());
    ASSERT_TRUE(RoundTrip(program, kRequest)) << service.Log();

    // The broker goes away while the program keeps the port open and writes: its bytes wait and
    // go out once the service is back.
    const uint64_t sentBefore = StatsNumber(service.Stats(), "to group ");
    rig.Broker().Stop();
    ASSERT_TRUE(program.Write(kDuringOutage));
    ASSERT_TRUE(rig.Broker().Start());
    EXPECT_TRUE(WaitUntil(
        [&] {
            return StatsNumber(service.Stats(), "to group ") >= sentBefore + kDuringOutage.size();
        },
        30s))
        << service.Log();
    EXPECT_EQ(StatsNumber(service.Stats(), "listener; "), 1u) << "one reconnect";
    program.Read(kDuringOutage.size(), 500);  // its echo, if the relay was back in time
    ASSERT_TRUE(RoundTrip(program, kAfterOutage)) << service.Log();

    // Nobody listens: relay bytes are dropped and counted.
    ASSERT_TRUE(program.Close());
    ASSERT_TRUE(PublishAsRelay(rig, 0xBEEF0001u, 0, "414243"));
    EXPECT_TRUE(WaitUntil([&] { return StatsNumber(service.Stats(), "late, ") >= 3; }, 20s))
        << service.Log();

    // The trace shows the exchange both ways, the relay by its key and device number.
    std::string traced = ReadTextFile(trace);
    EXPECT_TRUE(std::regex_search(
        traced, std::regex("to-group   seq [0-9]+ len 8: 01 03 00 00 00 0A C5 CD \\|")))
        << traced;
    EXPECT_TRUE(std::regex_search(
        traced,
        std::regex(
            "from-group key [0-9A-F]{8} dev 1 seq [0-9]+ len 8: 01 03 00 00 00 0A C5 CD \\|")))
        << traced;

    // The metrics file, rewritten every few seconds, parses and tells the same story.
    const size_t sent = kRequest.size() + kDuringOutage.size() + kAfterOutage.size();
    Exposition x;
    EXPECT_TRUE(WaitUntil(
        [&] {
            x = ParseExposition(ReadTextFile(metrics));
            return x.samples["norvex_serial_to_group_bytes_total"] >= static_cast<double>(sent) &&
                   x.samples["norvex_no_listener_dropped_bytes_total"] >= 3;
        },
        20s));
    EXPECT_TRUE(x.errors.empty()) << ::testing::PrintToString(x.errors);
    EXPECT_EQ(x.samples["norvex_connected"], 1);
    EXPECT_EQ(x.samples["norvex_reconnects_total"], 1);
    EXPECT_EQ(x.samples["norvex_relays_heard{group=\"" + rig.GroupId() + "\"}"], 1);
    EXPECT_EQ(x.samples.count("norvex_relay_last_heard_seconds{group=\"" + rig.GroupId() +
                              "\",devid=\"1\"}"),
              1u);

    ASSERT_TRUE(service.Proc().Signal(SIGTERM));
    int status = service.Proc().Wait(10s);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string log = service.Log();
    EXPECT_NE(log.rfind("stats: "), std::string::npos);
    EXPECT_GT(log.rfind("stats: "), log.rfind("button: ")) << "a last stats line at exit";
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0) << "the link is gone at exit";
}

TEST(Traffic, StartFailsWhenSomethingElseIsAtThePath) {
    GroupRig rig;
    ASSERT_TRUE(rig.Ok());
    ASSERT_TRUE(rig.CreateGroup("/dev/ttyS-not-used"));
    const std::string path = rig.Scratch("ttyNorvex0");
    std::ofstream(path) << "someone's file";
    Service service(rig, {"--virtual-port", path});
    ASSERT_TRUE(service.Started());
    int status = service.Proc().Wait(30s);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(service.Log().find(path), std::string::npos) << service.Log();
    EXPECT_EQ(ReadTextFile(path), "someone's file");
}

}  // namespace
}  // namespace norvex::test
