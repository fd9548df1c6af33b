// The request/response timings on a frozen clock: a missing relay packet is given up after the
// reorder wait, serial input goes out once the port is quiet, and input that waited out an
// outage too long is dropped.  The broker is played byte by byte.
#include <chrono>
#include <vector>

#include "engine_fixture.h"
#include "support/net_util.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSender = 0x00C0FFEE;

Bytes Publishes(std::initializer_list<uint16_t> numbers) {
    Bytes out;
    for (uint16_t n : numbers) {
        Bytes p = DataPublish(kSender, n);
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// The serial bytes a host PUBLISH carries, behind its two sequence bytes.
Bytes HostData(const Bytes& publish) {
    const size_t topic = 2 + sizeof "/group/G4711/host" - 1;
    size_t head = 2 + topic + 2 + 2;  // fixed header (short), topic, packet id, sequence
    return publish.size() > head ? Bytes(publish.begin() + head, publish.end()) : Bytes{};
}

class EngineTuning : public EngineFixture {
protected:
    // Connects (or reconnects) the engine to the scripted broker up to its n-th subscription.
    bool Subscribe(uint32_t n) {
        return broker.Accept(5000) && !broker.ReadPacket(5000).empty() && broker.Write(kConnAck) &&
               !broker.ReadPacket(5000).empty() && broker.Write(kSubAck) && WaitSubscribed(n);
    }
    bool Start() {
        UseBroker(broker.Port());
        return engine.Start(config) && Subscribe(1);
    }
    // Waits until the engine has read what the application wrote and has looked at the clock
    // again since, so that moving the clock now cannot land inside that step.
    bool WaitTaken() {
        return WaitUntil([&] { return pty.SlaveInputPending() == 0; }, 5s) && WaitClockLooks();
    }
    // Waits until the engine has looked at the clock `looks` more times: it has finished the
    // step it was in.
    bool WaitClockLooks(uint64_t looks = 5) {
        uint64_t before = clock.calls.load();
        return WaitUntil([&] { return clock.calls.load() - before >= looks; }, 5s);
    }
    CounterSnapshot Counts() const { return engine.Counters().Snapshot(); }

    ScriptedBroker broker;
};

// With 1 written, 2 never comes: what is held behind it waits the reorder wait and not a
// moment less, then goes out in order, and the missing numbers are counted.
TEST_F(EngineTuning, MissingPacketIsGivenUpAfterTheReorderWait) {
    struct Case {
        const char* name;
        Bytes held;  // arrives after packet 1
        Bytes port;  // written once the wait is over
        uint64_t givenUp;
    };
    const Case cases[] = {
        {"one missing", Publishes({3}), {3}, 1},
        {"two missing, two held out of order", Publishes({5, 4}), {4, 5}, 2},
    };
    config.tuning.reorderWaitMs = 100;
    uint32_t runs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock.frozen = false;  // the reconnect pause passes as usual
        UseBroker(broker.Port());
        ASSERT_TRUE(engine.Start(config));
        ASSERT_TRUE(Subscribe(++runs));
        clock.Freeze();
        const CounterSnapshot before = Counts();
        ASSERT_TRUE(broker.Write(Publishes({1})));
        EXPECT_EQ(pty.Read(1, 3000), Bytes{1});
        ASSERT_TRUE(broker.Write(c.held));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return Counts().packetsFromGroup == before.packetsFromGroup + 1 + c.port.size();
            },
            5s));
        clock.offset.fetch_add(99);
        EXPECT_TRUE(pty.Read(1, 150).empty());
        EXPECT_EQ(Counts().missingGivenUp, before.missingGivenUp);
        clock.offset.fetch_add(1);
        EXPECT_EQ(pty.Read(c.port.size(), 3000), c.port);
        EXPECT_EQ(Counts().missingGivenUp, before.missingGivenUp + c.givenUp);
        // the missing one, coming after all, is late
        ASSERT_TRUE(broker.Write(Publishes({2})));
        EXPECT_TRUE(WaitUntil([&] { return Counts().lateDropped == before.lateDropped + 1; }, 5s));
        EXPECT_TRUE(pty.Read(1, 100).empty());
        engine.RequestStop();
        engine.Join();
        broker.CloseConnection();
    }
}

// Serial input goes out once the port has been quiet for the idle time, however long ago the
// first byte came; 64 bytes go out at once.
TEST_F(EngineTuning, GatherIdlePublishesAfterTheQuietOrAt64Bytes) {
    config.tuning.gatherIdleMs = 2;
    ASSERT_TRUE(pty.WatchSlave());
    ASSERT_TRUE(Start());
    clock.Freeze();
    ASSERT_TRUE(pty.Write(Bytes{0x41}));
    ASSERT_TRUE(WaitTaken());
    clock.offset.fetch_add(1);
    ASSERT_TRUE(pty.Write(Bytes{0x42}));
    ASSERT_TRUE(WaitTaken());
    clock.offset.fetch_add(1);  // 2 ms after the first byte, 1 after the last
    EXPECT_TRUE(broker.Read(1, 150).empty());
    clock.offset.fetch_add(1);
    EXPECT_EQ(HostData(broker.ReadPacket(3000)), (Bytes{0x41, 0x42}));

    // the clock stands still: only the count sends these
    Bytes data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    ASSERT_TRUE(pty.Write(data));
    EXPECT_EQ(HostData(broker.ReadPacket(3000)), Bytes(data.begin(), data.begin() + 64));
    ASSERT_TRUE(WaitTaken());
    EXPECT_TRUE(broker.Read(1, 150).empty());
    clock.offset.fetch_add(2);
    EXPECT_EQ(HostData(broker.ReadPacket(3000)), Bytes(data.begin() + 64, data.end()));
}

// While the broker is away, input older than the stale limit is dropped when the link is back;
// what came later goes out.
TEST_F(EngineTuning, DropStaleDiscardsOldOutageInputAndKeepsNewer) {
    config.tuning.dropStaleMs = 1000;
    ASSERT_TRUE(pty.WatchSlave());
    ASSERT_TRUE(Start());
    clock.Freeze();
    broker.CloseConnection();
    ASSERT_TRUE(WaitUntil([&] { return events.Count("fault|lost") == 1; }, 5s));
    ASSERT_TRUE(pty.Write(Bytes{0xA1}));  // a request the application has given up on by then
    // read in the reconnect pause, whose poll() sleeps out the pause on the frozen clock: the
    // first look after the read is the byte's time stamp or comes after it
    ASSERT_TRUE(WaitUntil([&] { return pty.SlaveInputPending() == 0; }, 5s));
    ASSERT_TRUE(WaitClockLooks(2));
    clock.offset.fetch_add(1001);
    ASSERT_TRUE(pty.Write(Bytes{0xB2}));
    // read during the CONNACK wait, whose poll may sleep without looking at the clock; the clock
    // does not move again before the subscription, so the byte's time is now whenever it is read
    ASSERT_TRUE(WaitUntil([&] { return pty.SlaveInputPending() == 0; }, 5s));
    ASSERT_TRUE(Subscribe(2));
    ASSERT_TRUE(WaitClockLooks());  // the relay passes have begun and taken the held byte
    clock.offset.fetch_add(20);     // the gather window
    EXPECT_EQ(HostData(broker.ReadPacket(3000)), Bytes{0xB2});
    EXPECT_EQ(Counts().staleBytesDropped, 1u);
    EXPECT_EQ(Counts().serialBytesToGroup, 1u);
}

}  // namespace
}  // namespace norvex::test
