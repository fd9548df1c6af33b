// Start, stop and failure paths of the worker, against a broker played byte by byte.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/net_util.h"
#include "worker_test_fixture.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const Bytes kConnAck = {0x20, 0x02, 0x00, 0x00};
const Bytes kSubAck = {0x90, 0x04, 0x00, 0x01, 0x02, 0x02};

Bytes Text(const std::string& s) {
    Bytes b(s.size() + 2);
    b[0] = static_cast<uint8_t>(s.size() >> 8);
    b[1] = static_cast<uint8_t>(s.size() & 0xFF);
    std::copy(s.begin(), s.end(), b.begin() + 2);
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

using WorkerLifecycle = WorkerFixture;

// Stops the worker and returns how long RequestStop..Join took.
std::chrono::milliseconds TimeStop(ServiceWorker& worker) {
    auto t0 = std::chrono::steady_clock::now();
    worker.RequestStop();
    worker.Join();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
}

TEST_F(WorkerLifecycle, LoginAndSubscribeOnTheWireThenKeepAlive) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(worker.Start(ctx));
    ASSERT_TRUE(broker.Accept(5000));
    Bytes connectBody = Cat({Text("MQTT"), {0x04, 0xC2, 0x00, 0x78}, Text(kGroupId),
                             Text("prodX"), Text(std::string("NRVX") + kGroupSerial)});
    Bytes expectConnect = Cat({{0x10, static_cast<uint8_t>(connectBody.size())}, connectBody});
    EXPECT_EQ(broker.ReadPacket(5000), expectConnect);
    ASSERT_TRUE(broker.Write(kConnAck));
    Bytes subBody = Cat({{0x00, 0x01}, Text(std::string("/group/") + kGroupId + "/client/status"),
                         {0x02}, Text(std::string("/group/") + kGroupId + "/client"), {0x02}});
    // 0x82: the flag bits a 3.1.1 broker insists on (mosquitto drops a client that sends 0x80)
    EXPECT_EQ(broker.ReadPacket(5000), Cat({{0x82, static_cast<uint8_t>(subBody.size())}, subBody}));
    ASSERT_TRUE(broker.Write(kSubAck));
    ASSERT_TRUE(WaitSubscribed(1));

    // a minute of silence is answered with a PINGREQ
    EXPECT_TRUE(broker.Read(1, 300).empty());
    clock.offset.fetch_add(61000);
    EXPECT_EQ(broker.ReadPacket(3000), (Bytes{0xC0, 0x00}));
}

TEST_F(WorkerLifecycle, RefusedLoginStillSubscribes) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(worker.Start(ctx));
    ASSERT_TRUE(broker.Accept(5000));
    ASSERT_FALSE(broker.ReadPacket(5000).empty());
    ASSERT_TRUE(broker.Write({0x20, 0x02, 0x00, 0x05}));
    Bytes sub = broker.ReadPacket(5000);
    ASSERT_FALSE(sub.empty());
    EXPECT_EQ(sub[0], 0x82);
}

TEST_F(WorkerLifecycle, StopWhileBrokerIsUnreachableIsPrompt) {
    UseBroker(FreeLoopbackPort());  // nobody listens: every attempt is refused
    ASSERT_TRUE(worker.Start(ctx));
    ASSERT_TRUE(WaitUntil([&] { return panel.Count("notice|警告|网络故障,重连中..") >= 1; }, 5s));
    EXPECT_LT(TimeStop(worker).count(), 200);
    EXPECT_EQ(ctx.running.load(), 0);
    EXPECT_EQ(panel.Calls().back(), "choosers|1");
}

TEST_F(WorkerLifecycle, StopWhileWaitingForConnAckOrSubAckIsPrompt) {
    for (bool answerConnect : {false, true}) {
        SCOPED_TRACE(answerConnect ? "SUBACK wait" : "CONNACK wait");
        ScriptedBroker broker;
        UseBroker(broker.Port());
        ASSERT_TRUE(worker.Start(ctx));
        ASSERT_TRUE(broker.Accept(5000));
        ASSERT_FALSE(broker.ReadPacket(5000).empty());
        if (answerConnect) {
            ASSERT_TRUE(broker.Write(kConnAck));
            ASSERT_FALSE(broker.ReadPacket(5000).empty());
        }
        EXPECT_LT(TimeStop(worker).count(), 200);
        EXPECT_EQ(session.subscribeCount.load(), 0u);
    }
}

TEST_F(WorkerLifecycle, MalformedPacketFromTheBrokerEndsTheRun) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(worker.Start(ctx));
    ASSERT_TRUE(broker.Accept(5000));
    ASSERT_FALSE(broker.ReadPacket(5000).empty());
    ASSERT_TRUE(broker.Write(kConnAck));
    ASSERT_FALSE(broker.ReadPacket(5000).empty());
    ASSERT_TRUE(broker.Write(kSubAck));
    ASSERT_TRUE(WaitSubscribed(1));
    ASSERT_TRUE(broker.Write({0xD0, 0x01, 0x00}));  // PINGRESP with a body
    EXPECT_TRUE(WaitStopped(3s));
    EXPECT_EQ(ctx.running.load(), 0);
    EXPECT_EQ(panel.Calls().back(), "choosers|1");
}

TEST_F(WorkerLifecycle, PortHeldByAnotherProcessFailsAtOnce) {
    ChildProcess holder;
    ASSERT_TRUE(holder.Start({"/usr/bin/flock", "--exclusive", pty.SlavePath(), "sleep", "30"}));
    ASSERT_TRUE(WaitUntil(
        [&] {
            int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (fd < 0) return false;
            bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            ::close(fd);
            return held;
        },
        5s));
    UseBroker(FreeLoopbackPort());
    ASSERT_TRUE(worker.Start(ctx));
    ASSERT_TRUE(WaitStopped(2s));
    auto calls = panel.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "message|错误|网络侧串口(" + pty.SlavePath() +
                            ")打开错误,请检查:\r\n1.网络侧串口是否选择正确。\r\n2.是否重复打开该程序。"
                            "\r\n3.是否其它软件打开该串口端口。");
    EXPECT_EQ(calls[1], "button|已停止，点击运行|1");
    EXPECT_EQ(calls[2], "choosers|1");
    EXPECT_EQ(ctx.running.load(), 0);
}

TEST_F(WorkerLifecycle, GroupIdTheBrokerWouldRefuseEndsTheRunWithAMessage) {
    ctx.groupId = "bad-id";
    UseBroker(FreeLoopbackPort());
    ASSERT_TRUE(worker.Start(ctx));
    ASSERT_TRUE(WaitStopped(2s));
    EXPECT_EQ(panel.Count("message|错误|分组ID(bad-id)"), 1u);
    EXPECT_EQ(ctx.running.load(), 0);
}

TEST_F(WorkerLifecycle, SecondStartWhileRunningIsRefused) {
    UseBroker(FreeLoopbackPort());
    ASSERT_TRUE(worker.Start(ctx));
    EXPECT_FALSE(worker.Start(ctx));
}

}  // namespace
}  // namespace norvex::test
