#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "fullstack_rig.h"
#include "shell/config_file.h"
#include "support/net_util.h"
#include "support/pty_pair.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

// Relays are declared gone after this long in the test (225 s in service).
constexpr char kShortOfflineLimit[] = "NORVEX_RELAY_OFFLINE_MS=3000";

class Norvexd {
public:
    Norvexd(GroupRig& rig, const std::string& config) : log_(rig.Scratch("norvexd.log")) {
        std::vector<std::string> env = rig.Env();
        env.push_back(kShortOfflineLimit);
        started_ = proc_.Start({ProgramPath("norvexd"), "--config", config}, env, log_);
    }
    bool Started() const { return started_; }
    std::string Log() const { return ReadTextFile(log_); }
    size_t Count(const std::string& needle) const { return CountOf(Log(), needle); }
    bool WaitFor(const std::string& needle, std::chrono::milliseconds limit, size_t times = 1) {
        return WaitUntil([&] { return Count(needle) >= times; }, limit);
    }
    ChildProcess& Proc() { return proc_; }

private:
    std::string log_;
    ChildProcess proc_;
    bool started_ = false;
};

// Relay data as a relay sends it: "senderKey,packetNumber," in 14 characters, then hex.
bool PublishAsRelay(GroupRig& rig, uint32_t senderKey, uint16_t packet, const std::string& hex) {
    char head[32];
    std::snprintf(head, sizeof head, "%08X,%04X,", senderKey, packet);
    return rig.Broker().Publish(
        {"-q", "1", "-t", "/group/" + rig.GroupId() + "/client", "-m", head + hex}, 10s);
}

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
    return v;
}

// Round trip through the echoing relay: what goes into the application side comes back, in order.
void ExpectEcho(PtyPair& pty, size_t n) {
    std::vector<uint8_t> out = Pattern(n);
    ASSERT_TRUE(pty.Write(out));
    std::vector<uint8_t> back = pty.Read(out.size(), 20000);
    EXPECT_EQ(back.size(), out.size());
    EXPECT_TRUE(back == out) << "bytes came back out of order or changed";
}

// The same whole system on every broker make the service must work with.
class FullStackOnBroker : public ::testing::TestWithParam<BrokerKind> {
protected:
    void SetUp() override {
        std::string why = BrokerUnavailable(GetParam());
        // scripts/test.sh installs aedes and sets this, so that a missing install fails there
        if (!why.empty() && std::getenv("NORVEX_REQUIRE_AEDES") == nullptr) GTEST_SKIP() << why;
        ASSERT_EQ(why, "");
    }
};

TEST_P(FullStackOnBroker,
       RelaysBytesBothWaysTracksRelayStatusSurvivesABrokerRestartAndStopsOnSigterm) {
    GroupRig rig(GetParam());
    ASSERT_TRUE(rig.Ok());
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    ASSERT_TRUE(rig.CreateGroup(pty.SlavePath()));

    Norvexd daemon(rig, rig.ConfigPath());
    ASSERT_TRUE(daemon.Started());
    ASSERT_TRUE(daemon.WaitFor("relay 1: devid=2 status=-- ", 20s)) << daemon.Log();
    // the second "running" text comes with the broker connection
    ASSERT_TRUE(daemon.WaitFor("button: 运行中，点击停止", 20s, 2)) << daemon.Log();

    // Group to application: a relay's packet comes out of the application side once the
    // subscription is in place.
    std::vector<uint8_t> got;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (!PublishAsRelay(rig, 0xBEEF0001u, 0, "414243")) return false;
            got = pty.Read(3, 500);
            return got.size() == 3;
        },
        20s));
    EXPECT_EQ(got, (std::vector<uint8_t>{'A', 'B', 'C'}));

    ChildProcess echoRelay, quietRelay;
    std::vector<std::string> env = rig.Env();
    ASSERT_TRUE(echoRelay.Start({ProgramPath("relay-sim"), "--group", rig.GroupId(), "--devids",
                                 "1", "--ping-ms", "500", "--broker", rig.Broker().HostPort()},
                                env, rig.Scratch("relay1.log")));
    ASSERT_TRUE(quietRelay.Start(
        {ProgramPath("relay-sim"), "--group", rig.GroupId(), "--devids", "2", "--no-echo",
         "--ping-ms", "500", "--silence-after-ms", "2000", "--broker", rig.Broker().HostPort()},
        env, rig.Scratch("relay2.log")));

    // "baseinfo" makes the row "online" with the relay's own identity, the timer then "√".
    EXPECT_TRUE(daemon.WaitFor("relay 0: status=online", 20s)) << daemon.Log();
    EXPECT_TRUE(daemon.WaitFor("relay 0: iccid=89861000001", 5s)) << daemon.Log();
    EXPECT_TRUE(daemon.WaitFor("relay 0: status=√", 5s)) << daemon.Log();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return rig.Reports().find("1,89861000001,862000001,") == 0 ||
                   rig.Reports().find("\n1,89861000001,862000001,") != std::string::npos;
        },
        10s))
        << rig.Reports();

    // Application to group and back through the echoing relay, in order.
    ExpectEcho(pty, 1000);

    // A restarted broker keeps no subscription: the service and the relay log in and subscribe
    // again by themselves, and bytes go round once more.
    size_t connects = daemon.Count("button: 运行中，点击停止");
    ASSERT_TRUE(rig.Broker().Restart());
    ASSERT_TRUE(daemon.WaitFor("button: 运行中，点击停止", 20s, connects + 1)) << daemon.Log();
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::vector<uint8_t> probe{0x5A};
            pty.Write(probe);
            return pty.Read(1, 500) == probe;
        },
        30s))
        << "nothing came back after the broker restart";
    pty.Read(4096, 1500);  // probes sent while the path was still coming up may follow
    ExpectEcho(pty, 1000);

    // The relay that stopped answering turns "×" once the (shortened) limit has passed.
    EXPECT_TRUE(daemon.WaitFor("relay 1: status=×", 20s)) << daemon.Log();

    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(daemon.Proc().Signal(SIGTERM));
    int status = daemon.Proc().Wait(5s);
    auto took = std::chrono::steady_clock::now() - t0;
    ASSERT_NE(status, -1) << "norvexd did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_LT(took, 1s);
    std::string log = daemon.Log();
    EXPECT_NE(log.find("button: 正在停止... (disabled)"), std::string::npos) << log;
    EXPECT_NE(log.find("button: 已停止，点击运行"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Brokers, FullStackOnBroker, ::testing::ValuesIn(TestBrokerKinds()),
                         [](const auto& param) { return std::string(BrokerName(param.param)); });

TEST(FullStack, WrongGroupPasswordEndsNonZeroWithTheGroupMessage) {
    GroupRig rig;
    ASSERT_TRUE(rig.Ok());
    PtyPair pty;
    ASSERT_TRUE(rig.CreateGroup(pty.SlavePath()));
    PanelConfig config = LoadPanelConfig(rig.ConfigPath());
    ASSERT_EQ(config.groups.size(), 1u);
    config.groups[0].password = "not-the-password";
    std::string wrong = rig.Scratch("wrong.cfg");
    ASSERT_EQ(SavePanelConfig(wrong, config, 0), ConfigSaveResult::kOk);

    Norvexd daemon(rig, wrong);
    ASSERT_TRUE(daemon.Started());
    int status = daemon.Proc().Wait(30s);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    std::string expected =
        "message: norvexd: Group:" + rig.GroupId() + "(pump house) ID或密码不对！或者网络错误！";
    EXPECT_NE(daemon.Log().find(expected), std::string::npos) << daemon.Log();
    EXPECT_EQ(daemon.Log().find("运行中"), std::string::npos) << "the service must not start";
}

TEST(FullStack, NoGroupEndsNonZeroAndTellsTheUserToAddOne) {
    GroupRig rig;
    ASSERT_TRUE(rig.Ok());
    Norvexd daemon(rig, rig.Scratch("missing.cfg"));
    ASSERT_TRUE(daemon.Started());
    int status = daemon.Proc().Wait(10s);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << status;
    EXPECT_NE(daemon.Log().find("[..添加已有的群..]"), std::string::npos) << daemon.Log();
}

}  // namespace
}  // namespace norvex::test
