// The start/stop control with the real engine on a pty, a recording view and a scripted group
// service.
#include "shell/service_control.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shell/group_gateway.h"
#include "support/child_process.h"
#include "support/loopback_listener.h"
#include "support/mosquitto_broker.h"
#include "support/net_util.h"
#include "support/pty_pair.h"
#include "support/recording_view.h"
#include "support/test_pki.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

constexpr char kRunning[] = "button|运行中，点击停止|1";
constexpr char kStopped[] = "button|已停止，点击运行|1";
constexpr char kStopping[] = "button|正在停止...|0";

class ScriptedGroups final : public GroupGateway {
public:
    std::optional<std::string> FetchGroupSerial(const std::string&, const std::string&) override {
        return serial;
    }
    DeviceListOutcome FetchDevices(const std::string&, std::vector<RelayRecord>& out) override {
        out = devices;
        return devicesOutcome;
    }
    void ReportDevice(const RelayRecord&) override {}

    std::optional<std::string> serial = "77";
    DeviceListOutcome devicesOutcome = DeviceListOutcome::kRecords;
    std::vector<RelayRecord> devices = {{3, "I3", "M3"}};
};

// Holds the engine thread in the view call that hands the panel back, until released.
class HoldingView final : public PanelView {
public:
    void SetStartButton(const std::string& text, bool enabled) override {
        record.SetStartButton(text, enabled);
        if (text != "已停止，点击运行") return;
        std::unique_lock lock(mu);
        held = true;
        cv.notify_all();
        cv.wait(lock, [&] { return released; });
    }
    void EnableChoosers(bool e) override { record.EnableChoosers(e); }
    void InvertStartButton() override { record.InvertStartButton(); }
    void ClearRelayRows() override { record.ClearRelayRows(); }
    void AddRelayRow(const std::vector<std::string>& c) override { record.AddRelayRow(c); }
    void SetRelayCell(int r, RelayColumn c, const std::string& t) override {
        record.SetRelayCell(r, c, t);
    }
    void ShowMessage(const std::string& c, const std::string& t) override {
        record.ShowMessage(c, t);
    }
    void ShowNotice(const std::string& c, const std::string& t) override {
        record.ShowNotice(c, t);
    }
    void ShowDiagnostic(const std::string& l) override { record.ShowDiagnostic(l); }
    void SetStatusTimer(bool on) override { record.SetStatusTimer(on); }
    void SetBusy(bool b) override { record.SetBusy(b); }
    void EndProgram() override { record.EndProgram(); }

    bool WaitHeld() {
        std::unique_lock lock(mu);
        return cv.wait_for(lock, 5s, [&] { return held; });
    }
    void Release() {
        std::lock_guard lock(mu);
        released = true;
        cv.notify_all();
    }

    RecordingView record;
    std::mutex mu;
    std::condition_variable cv;
    bool held = false;
    bool released = false;
};

PanelConfig OneGroup(const std::string& port) {
    PanelConfig c;
    c.netPortName = port;
    c.groups = {{"G1", "pump house", "pw"}};
    return c;
}

struct ControlTest : ::testing::Test {
    ServiceSite Site(int port) { return {"127.0.0.1", port, "prodX"}; }

    PtyPair pty;
    ScriptedGroups groups;
    RecordingView view;
    int unreachable = FreeLoopbackPort();
};

TEST_F(ControlTest, RefusedStartsChangeNothing) {
    ServiceControl control(view, groups, "app", Site(unreachable));
    EXPECT_EQ(control.Start(OneGroup(pty.SlavePath()), -1), StartOutcome::kNoGroup);
    EXPECT_EQ(view.Calls(),
              (std::vector<std::string>{
                  "message|app|没有可用的RS485设备群，请先添加设备群：[..添加已有的群..]"}));
    view.Clear();
    groups.serial.reset();
    EXPECT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kGroupRejected);
    EXPECT_EQ(view.Calls(), (std::vector<std::string>{
                                "busy|1", "busy|0",
                                "message|app|Group:G1(pump house) ID或密码不对！或者网络错误！"}));
    EXPECT_FALSE(control.RunActive());
    EXPECT_FALSE(control.TimerActive());
}

TEST_F(ControlTest, StartShowsEachStepAndASecondStartIsBusy) {
    groups.devicesOutcome = DeviceListOutcome::kFailed;
    ServiceControl control(view, groups, "app", Site(unreachable));
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    EXPECT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kBusy);
    ASSERT_TRUE(WaitUntil([&] { return view.Count("notice|警告|网络故障,重连中..") >= 1; }, 5s));
    auto calls = view.Calls();
    std::vector<std::string> head(calls.begin(), calls.begin() + 8);
    EXPECT_EQ(head, (std::vector<std::string>{"busy|1", "choosers|0", "button|正在启动...|0",
                                              "busy|0", "message|app|获取列表失败", "clear-rows",
                                              "timer|1", kRunning}));
}

TEST_F(ControlTest, StopQuestionAnsweredNoThenYes) {
    ServiceControl control(view, groups, "app", Site(unreachable));
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    ASSERT_TRUE(WaitUntil([&] { return view.Count(kRunning) == 1; }, 5s));
    size_t before = view.Calls().size();
    // answered no: nothing changes
    EXPECT_EQ(control.OnStartStopClicked(OneGroup(pty.SlavePath()), 0), ClickStep::kAskStop);
    EXPECT_EQ(view.Calls().size(), before);
    EXPECT_TRUE(control.TimerActive());

    EXPECT_EQ(control.OnStartStopClicked(OneGroup(pty.SlavePath()), 0), ClickStep::kAskStop);
    control.RequestStop();
    control.JoinEngine();
    auto calls = view.Calls();
    std::vector<std::string> tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{kStopping, "timer|0", kStopped, "choosers|1"}));
    EXPECT_FALSE(control.RunActive());
}

// The run ends by itself while the stop question is open: "yes" then has nothing to stop.
TEST_F(ControlTest, YesAfterTheRunEndedLeavesThePanelAsTheEndLeftIt) {
    ServiceControl control(view, groups, "app", Site(unreachable));
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    ASSERT_EQ(control.OnStartStopClicked(OneGroup(pty.SlavePath()), 0), ClickStep::kAskStop);
    control.Engine().RequestStop();  // stands for a port failure while the question is open
    control.JoinEngine();
    control.RequestStop();  // the answer yes
    EXPECT_EQ(view.Last(), "choosers|1");
    EXPECT_EQ(view.Count(kStopping), 0u);
    EXPECT_EQ(view.Count(kStopped), 1u);
}

// Closing while a stop is under way is refused until the run has handed the panel back.
TEST_F(ControlTest, RunStaysActiveUntilTheEndIsShown) {
    HoldingView holding;
    ServiceControl control(holding, groups, "app", Site(unreachable));
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    control.RequestStop();
    ASSERT_TRUE(holding.WaitHeld());
    EXPECT_TRUE(control.RunActive());
    holding.Release();
    control.JoinEngine();
    EXPECT_FALSE(control.RunActive());
}

TEST_F(ControlTest, PortThatCannotBeOpenedIsToldOnce) {
    ServiceControl control(view, groups, "app", Site(unreachable));
    ASSERT_EQ(control.Start(OneGroup("/nonexistent/ttyX"), 0), StartOutcome::kStarted);
    control.JoinEngine();
    auto calls = view.Calls();
    std::vector<std::string> tail(calls.end() - 3, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{
                        "message|错误|网络侧串口(/nonexistent/ttyX)打开错误,请检查:\r\n"
                        "1.网络侧串口是否选择正确。\r\n2.是否重复打开该程序。\r\n"
                        "3.是否其它软件打开该串口端口。",
                        kStopped, "choosers|1"}));
    EXPECT_TRUE(control.TimerActive());  // only a confirmed stop ends the timer
}

// An engine whose own resources could not be set up (here: no descriptor left for its wake-up)
// cannot run at all; the start says so with the closing message and ends the program.
TEST_F(ControlTest, AnEngineThatCannotBeSetUpEndsTheProgram) {
    // the sanitizers' type checks want a pipe the first time they meet a type: meet them now
    ServiceSite site = Site(unreachable);
    { ServiceControl warmUp(view, groups, "app", site); }
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);  // every descriptor below is in use
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    auto control = std::make_unique<ServiceControl>(view, groups, "app", site);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);

    ASSERT_EQ(control->Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    control->JoinEngine();
    auto calls = view.Calls();
    ASSERT_GE(calls.size(), 4u);
    std::vector<std::string> tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"message|app|系统错误！程序将关闭", kStopped,
                                              "choosers|1", "end-program"}));
    EXPECT_FALSE(control->RunActive());
}

// A notice painted before the window went to the tray ends with the outage it reported: the
// reconnect rewrites the button there too (without the flash), so a restore shows no stale red.
TEST_F(ControlTest, AReconnectInTheTrayClearsTheNoticeOfTheOutage) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    ServiceControl control(view, groups, "app", Site(broker.Port()));
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    auto subscribed = [&](uint64_t n) {
        return WaitUntil([&] { return control.Engine().Counters().Snapshot().subscriptions == n; },
                         10s);
    };
    ASSERT_TRUE(subscribed(1));
    broker.Stop();
    ASSERT_TRUE(WaitUntil([&] { return view.Count("notice|警告|网络故障,重连中..") >= 1; }, 10s));
    control.SetInTray(true);
    view.Clear();
    ASSERT_TRUE(broker.Restart());
    ASSERT_TRUE(subscribed(2));
    EXPECT_EQ(view.Count(kRunning), 1u);
    EXPECT_EQ(view.Count("invert"), 0u);
    EXPECT_EQ(view.Count("notice|"), 0u);
}

// Relay rows: "--" until heard, "online" from a baseinfo, then the timer's √ and, once the
// relay is silent for the offline lapse, ×.
TEST_F(ControlTest, RelayRowsFollowStatusMessagesAndTheTimer) {
    MosquittoBroker broker;
    ASSERT_TRUE(broker.Start());
    ServiceControl control(view, groups, "app", Site(broker.Port()));
    control.SetOfflineAfterMs(400);
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    EXPECT_EQ(view.Count("row|3|--|I3|M3"), 1u);
    control.OnTimer();
    EXPECT_EQ(view.Count("cell|0|1|"), 0u);  // never heard: left alone
    ASSERT_TRUE(
        WaitUntil([&] { return control.Engine().Counters().Snapshot().subscriptions == 1; }, 10s));
    ChildProcess pub;
    ASSERT_TRUE(pub.Start({"/usr/bin/mosquitto_pub", "-p", std::to_string(broker.Port()), "-t",
                           "/group/G1/client/status", "-m", "baseinfo:3,x,0,0,I3new,M3,"}));
    ASSERT_TRUE(WaitUntil([&] { return view.Count("cell|0|2|I3new") == 1; }, 5s));
    EXPECT_EQ(view.Count("cell|0|1|online"), 1u);
    control.OnTimer();
    EXPECT_EQ(view.Last(), "cell|0|1|√");
    ASSERT_TRUE(WaitUntil(
        [&] {
            control.OnTimer();
            return view.Last() == "cell|0|1|×";
        },
        5s));
}

// Over TLS: the broker's certificate from the trusted CA lets the run subscribe; from another
// CA it is refused with the reason said once, and the engine keeps trying.
TEST_F(ControlTest, TlsBrokerIsTrustedOnlyWithItsCa) {
    std::string dir = ::testing::TempDir() + "norvex-control-tls";
    std::filesystem::create_directories(dir);
    TestCa ca(dir, "ca"), other(dir, "other");
    ASSERT_TRUE(ca.Ok() && other.Ok());
    PemPair server = ca.IssueServer("broker", "IP:127.0.0.1");
    MosquittoBroker broker(BrokerTls{ca.CertFile(), server.cert, server.key});
    ASSERT_TRUE(broker.Start()) << broker.LogFile();
    for (bool trusted : {true, false}) {
        SCOPED_TRACE(trusted ? "trusted CA" : "other CA");
        ServiceSite site = Site(broker.Port());
        site.brokerTls = TlsSettings{.enabled = true, .caFile = (trusted ? ca : other).CertFile()};
        RecordingView tlsView;
        ServiceControl control(tlsView, groups, "app", site);
        ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
        if (trusted) {
            EXPECT_TRUE(WaitUntil(
                [&] { return control.Engine().Counters().Snapshot().subscriptions == 1; }, 10s));
            EXPECT_EQ(tlsView.Count("diagnostic|"), 0u);
        } else {
            EXPECT_TRUE(WaitUntil(
                [&] { return tlsView.Count("notice|警告|网络故障,重连中..") >= 2; }, 10s));
            EXPECT_EQ(
                tlsView.Count("diagnostic|broker: TLS handshake failed: certificate verify failed"),
                1u);
        }
        control.RequestStop();
        control.JoinEngine();
    }
}

// One whole packet from a blocking socket whose receive time-out is set: its first byte, or -1.
int ReadPacket(int fd) {
    uint8_t head[2];
    if (::recv(fd, head, 2, MSG_WAITALL) != 2) return -1;
    uint32_t length = head[1] & 0x7F;
    for (int shift = 7; head[1] & 0x80; shift += 7) {
        if (::recv(fd, &head[1], 1, 0) != 1) return -1;
        length |= static_cast<uint32_t>(head[1] & 0x7F) << shift;
    }
    std::vector<uint8_t> body(length + 1);
    if (length > 0 && ::recv(fd, body.data(), length, MSG_WAITALL) != static_cast<ssize_t>(length))
        return -1;
    return head[0];
}

bool SendBytes(int fd, std::vector<uint8_t> bytes) {
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// A broker stand-in on a loopback port: takes the login and the subscription, then sends a
// PINGRESP with a body, which MQTT 3.1.1 does not allow.  The run stops and says why, before its
// stop lines.
TEST_F(ControlTest, MalformedPacketFromTheBrokerIsSaidBeforeTheStop) {
    LoopbackListener broker;
    ASSERT_TRUE(broker.Ok());
    ServiceControl control(view, groups, "app", Site(broker.Port()));
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    int fd = broker.Accept(10000);
    ASSERT_GE(fd, 0);
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    EXPECT_EQ(ReadPacket(fd), 0x10);  // CONNECT
    ASSERT_TRUE(SendBytes(fd, {0x20, 0x02, 0x00, 0x00}));
    EXPECT_EQ(ReadPacket(fd), 0x82);  // SUBSCRIBE; the engine numbers its first one 1
    ASSERT_TRUE(SendBytes(fd, {0x90, 0x04, 0x00, 0x01, 0x00, 0x00}));
    // only once the run relays: a bad packet while it waits for the SUBACK means a reconnect
    ASSERT_TRUE(
        WaitUntil([&] { return control.Engine().Counters().Snapshot().subscriptions == 1; }, 10s));
    ASSERT_TRUE(SendBytes(fd, {0xD0, 0x01, 0x00}));
    ASSERT_TRUE(WaitUntil([&] { return !control.Engine().Active(); }, 10s));
    control.JoinEngine();
    ::close(fd);
    auto calls = view.Calls();
    auto said = std::find(calls.begin(), calls.end(),
                          "diagnostic|broker: malformed packet: a header, length or field that "
                          "MQTT 3.1.1 does not allow");
    ASSERT_NE(said, calls.end());
    EXPECT_EQ(std::vector<std::string>(said + 1, calls.end()),
              (std::vector<std::string>{kStopped, "choosers|1"}));
}

// A product ID that is not UTF-8 can never make a CONNECT: the run keeps trying, as after any
// failed login, but says why once and raises no notice for each attempt.
TEST_F(ControlTest, ConnectThatCannotBeBuiltIsSaidOnceWithoutNotices) {
    LoopbackListener broker;
    ASSERT_TRUE(broker.Ok());
    ServiceSite site = Site(broker.Port());
    site.productId = "prod\xff";
    ServiceControl control(view, groups, "app", site);
    ASSERT_EQ(control.Start(OneGroup(pty.SlavePath()), 0), StartOutcome::kStarted);
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = broker.Accept(10000);
        ASSERT_GE(fd, 0) << "attempt " << attempt;
        ::close(fd);
    }
    control.RequestStop();
    control.JoinEngine();
    EXPECT_EQ(view.Count("diagnostic|broker: CONNECT cannot be built: the MQTT user name "
                         "(product ID) is not valid UTF-8"),
              1u);
    EXPECT_EQ(view.Count("diagnostic|"), 1u);
    EXPECT_EQ(view.Count("notice|"), 0u);
}

}  // namespace
}  // namespace norvex::test
