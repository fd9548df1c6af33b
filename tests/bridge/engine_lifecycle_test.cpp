// Start, stop and failure paths of the engine, against a broker played byte by byte.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "support/child_process.h"
#include "support/net_util.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

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

using EngineLifecycle = EngineFixture;

// Handshake up to the SUBSCRIBE; false when the engine did not get that far.
bool AnswerConnect(ScriptedBroker& broker) {
    return broker.Accept(5000) && !broker.ReadPacket(5000).empty() && broker.Write(kConnAck) &&
           !broker.ReadPacket(5000).empty();
}

TEST_F(EngineLifecycle, LoginAndSubscribeOnTheWireThenKeepAlive) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(broker.Accept(5000));
    Bytes connectBody = Cat({Text("MQTT"),
                             {0x04, 0xC2, 0x00, 0x78},
                             Text(kGroupId),
                             Text("prodX"),
                             Text(std::string("NRVX") + kGroupSerial)});
    Bytes expectConnect = Cat({{0x10, static_cast<uint8_t>(connectBody.size())}, connectBody});
    EXPECT_EQ(broker.ReadPacket(5000), expectConnect);
    ASSERT_TRUE(broker.Write(kConnAck));
    Bytes subBody = Cat({{0x00, 0x01},
                         Text(std::string("/group/") + kGroupId + "/client/status"),
                         {0x02},
                         Text(std::string("/group/") + kGroupId + "/client"),
                         {0x02}});
    // 0x82: the flag bits a 3.1.1 broker insists on (mosquitto drops a client that sends 0x80)
    EXPECT_EQ(broker.ReadPacket(5000),
              Cat({{0x82, static_cast<uint8_t>(subBody.size())}, subBody}));
    ASSERT_TRUE(broker.Write(kSubAck));
    ASSERT_TRUE(WaitSubscribed(1));

    EXPECT_EQ(events.Lines(),
              (std::vector<std::string>{"state|opening-port", "state|port-open", "state|connecting",
                                        "state|connected", "logged-in|0", "state|subscribed"}));
    // a minute of silence is answered with a PINGREQ
    EXPECT_TRUE(broker.Read(1, 300).empty());
    clock.offset.fetch_add(61000);
    ASSERT_TRUE(
        broker.Write({0xD0, 0x00}));  // wakes the engine, which sleeps until the minute is up
    EXPECT_EQ(broker.ReadPacket(3000), (Bytes{0xC0, 0x00}));
}

// A broker that keeps its socket open but sends nothing for the answer limit after a PINGREQ or
// a PUBLISH of ours is left with a fault of its own and connected again; any answer keeps it.
TEST_F(EngineLifecycle, ABrokerSilentAfterBeingAskedIsLeft) {
    struct Case {
        const char* name;
        bool askByPing;
        bool answered;
    };
    uint32_t runs = 0;
    for (const Case& c :
         {Case{"PINGREQ unanswered", true, false}, Case{"PUBLISH unanswered", false, false},
          Case{"PUBLISH answered", false, true}}) {
        SCOPED_TRACE(c.name);
        ScriptedBroker broker;
        UseBroker(broker.Port());
        ASSERT_TRUE(engine.Start(config));
        ASSERT_TRUE(AnswerConnect(broker));
        ASSERT_TRUE(broker.Write(kSubAck));
        ASSERT_TRUE(WaitSubscribed(++runs));
        const size_t faults = events.Count("fault|silent|0");
        if (c.askByPing) {
            clock.offset.fetch_add(61000);            // a minute without sending
            ASSERT_TRUE(broker.Write({0xD0, 0x00}));  // wakes the engine for its PINGREQ
            ASSERT_EQ(broker.ReadPacket(3000), (Bytes{0xC0, 0x00}));
        } else {
            ASSERT_TRUE(pty.Write("\x01", 1));
            ASSERT_EQ(broker.ReadPacket(3000).at(0), 0x32);
        }
        if (c.answered) {
            ASSERT_TRUE(broker.Write({0xD0, 0x00}));
        }
        // the limit passes; serial input wakes the engine, and is published if it stays
        clock.offset.fetch_add(kAnswerLimitMs + 1);
        ASSERT_TRUE(pty.Write("\x02", 1));
        if (c.answered) {
            EXPECT_EQ(broker.ReadPacket(3000).at(0), 0x32);
            EXPECT_EQ(events.Count("fault|silent|0"), faults);
        } else {
            EXPECT_TRUE(
                WaitUntil([&] { return events.Count("fault|silent|0") == faults + 1; }, 5s));
            EXPECT_TRUE(AnswerConnect(broker));
        }
        engine.RequestStop();
        engine.Join();
    }
}

TEST_F(EngineLifecycle, RefusedLoginStillSubscribes) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(broker.Accept(5000));
    ASSERT_FALSE(broker.ReadPacket(5000).empty());
    ASSERT_TRUE(broker.Write({0x20, 0x02, 0x00, 0x05}));
    Bytes sub = broker.ReadPacket(5000);
    ASSERT_FALSE(sub.empty());
    EXPECT_EQ(sub[0], 0x82);
    EXPECT_EQ(events.Count("logged-in|5"), 1u);
}

// A broker that refuses the login by closing is a network fault, not a silent retry.
TEST_F(EngineLifecycle, ConnectionClosedDuringTheHandshakeIsAFault) {
    for (bool afterConnAck : {false, true}) {
        SCOPED_TRACE(afterConnAck ? "SUBACK wait" : "CONNACK wait");
        ScriptedBroker broker;
        UseBroker(broker.Port());
        ASSERT_TRUE(engine.Start(config));
        if (afterConnAck) {
            ASSERT_TRUE(AnswerConnect(broker));
        } else {
            ASSERT_TRUE(broker.Accept(5000));
            ASSERT_FALSE(broker.ReadPacket(5000).empty());
        }
        broker.CloseConnection();
        const char* fault = afterConnAck ? "fault|subscribe|0" : "fault|login|-1";
        EXPECT_TRUE(WaitUntil([&] { return events.Count(fault) == 1; }, 5s));
        engine.RequestStop();
        engine.Join();
    }
}

TEST_F(EngineLifecycle, StopWhileBrokerIsUnreachableIsPrompt) {
    UseBroker(FreeLoopbackPort());  // nobody listens: every attempt is refused
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(WaitUntil([&] { return events.Count("fault|connect") >= 1; }, 5s));
    engine.RequestStop();
    engine.Join();
    EXPECT_EQ(events.Last(), "stopped|user");
}

TEST_F(EngineLifecycle, StopWhileWaitingForConnAckOrSubAckIsPrompt) {
    for (bool answerConnect : {false, true}) {
        SCOPED_TRACE(answerConnect ? "SUBACK wait" : "CONNACK wait");
        ScriptedBroker broker;
        UseBroker(broker.Port());
        ASSERT_TRUE(engine.Start(config));
        if (answerConnect) {
            ASSERT_TRUE(AnswerConnect(broker));
        } else {
            ASSERT_TRUE(broker.Accept(5000));
            ASSERT_FALSE(broker.ReadPacket(5000).empty());
        }
        engine.RequestStop();
        engine.Join();
        EXPECT_EQ(events.Last(), "stopped|user");
        EXPECT_EQ(engine.Counters().Snapshot().subscriptions, 0u);
    }
}

TEST_F(EngineLifecycle, MalformedPacketFromTheBrokerEndsTheRun) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(AnswerConnect(broker));
    ASSERT_TRUE(broker.Write(kSubAck));
    ASSERT_TRUE(WaitSubscribed(1));
    ASSERT_TRUE(broker.Write({0xD0, 0x01, 0x00}));  // PINGRESP with a body
    EXPECT_TRUE(WaitStopped(3s));
    EXPECT_EQ(events.Last(), "stopped|malformed");
}

TEST_F(EngineLifecycle, PortHeldByAnotherProcessFailsAtOnce) {
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
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(WaitStopped(2s));
    EXPECT_EQ(events.Lines(),
              (std::vector<std::string>{"state|opening-port", "stopped|port-open-failed"}));
}

TEST_F(EngineLifecycle, GroupIdTheBrokerWouldRefuseEndsTheRunWithAMessage) {
    config.groupId = "bad-id";
    UseBroker(FreeLoopbackPort());
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(WaitStopped(2s));
    EXPECT_EQ(events.Lines(), (std::vector<std::string>{"stopped|invalid-group-id"}));
}

TEST_F(EngineLifecycle, SecondStartWhileRunningIsRefused) {
    UseBroker(FreeLoopbackPort());
    ASSERT_TRUE(engine.Start(config));
    EXPECT_FALSE(engine.Start(config));
}

// The gather window is 20 ms to the millisecond: nothing at 19, the PUBLISH at 20.
TEST_F(EngineLifecycle, ShortInputWaitsTheGatherWindowOnTheClock) {
    ScriptedBroker broker;
    UseBroker(broker.Port());
    ASSERT_TRUE(pty.WatchSlave());
    ASSERT_TRUE(engine.Start(config));
    ASSERT_TRUE(AnswerConnect(broker));
    ASSERT_TRUE(broker.Write(kSubAck));
    ASSERT_TRUE(WaitSubscribed(1));
    clock.Freeze();
    // twice: the window of a later burst opens when its first byte is read, not at the last send
    for (uint8_t byte : {uint8_t{0x42}, uint8_t{0x43}}) {
        SCOPED_TRACE(byte);
        uint64_t before = clock.calls.load();
        ASSERT_TRUE(pty.Write(Bytes{byte}));
        // the port wakes the engine, which takes the byte and then looks at the clock every time
        // the (frozen) window lets it wake
        ASSERT_TRUE(WaitUntil([&] { return clock.calls.load() - before >= 20; }, 5s))
            << "clock calls " << clock.calls.load() - before << ", broker got "
            << broker.Read(20, 100).size();
        ASSERT_EQ(pty.SlaveInputPending(), 0);
        clock.offset.fetch_add(19);
        EXPECT_TRUE(broker.Read(1, 150).empty());
        clock.offset.fetch_add(1);
        Bytes publish = broker.ReadPacket(3000);
        ASSERT_FALSE(publish.empty());
        EXPECT_EQ(publish[0], 0x32);
        EXPECT_EQ(publish.back(), byte);
        ASSERT_TRUE(
            broker.Write({0x40, 0x02, publish[publish.size() - 5], publish[publish.size() - 4]}));
        clock.offset.fetch_add(100);  // long after: the engine is idle again
    }
}

}  // namespace
}  // namespace norvex::test
