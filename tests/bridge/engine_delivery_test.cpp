// Relay data the engine has acknowledged reaches the port, in order, whatever the broker's bytes
// share a segment with; and neither a port nor a broker that stops reading holds the engine.
// The broker is played byte by byte, each step in one write.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine_fixture.h"
#include "support/net_util.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSender = 0x0A0B0C0D;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes DataPublish(uint16_t number, size_t width = 1) {
    return test::DataPublish(kSender, number, width);
}

Bytes Publishes(std::initializer_list<uint16_t> numbers) {
    Bytes out;
    for (uint16_t n : numbers) out = Cat({out, DataPublish(n)});
    return out;
}

Bytes PubAck(uint16_t id) {
    return {0x40, 0x02, static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id & 0xFF)};
}

class EngineDelivery : public EngineFixture {
protected:
    // CONNECT, then `afterConnect` in one write; SUBSCRIBE, then `afterSubscribe` in one write.
    // The PUBACKs sent before the SUBSCRIBE are kept in `acks`.
    bool Handshake(const Bytes& afterConnect, const Bytes& afterSubscribe) {
        acks.clear();
        UseBroker(broker.Port());
        if (!engine.Start(config) || !broker.Accept(5000) || broker.ReadPacket(5000).empty() ||
            !broker.Write(afterConnect)) {
            return false;
        }
        for (;;) {
            Bytes p = broker.ReadPacket(5000);
            if (p.empty()) return false;
            if (p[0] == 0x82) break;
            acks.push_back(p);
        }
        return broker.Write(afterSubscribe);
    }

    void StopRun() {
        engine.RequestStop();
        engine.Join();
        broker.CloseConnection();
    }

    ScriptedBroker broker;
    std::vector<Bytes> acks;
};

// What the broker had acknowledged during the CONNACK and SUBACK waits was once dropped when the
// relay passes began.
TEST_F(EngineDelivery, DataAroundTheHandshakeReachesThePort) {
    struct Case {
        const char* name;
        Bytes afterConnect;
        Bytes afterSubscribe;
        Bytes port;  // what the application reads
    };
    const Case cases[] = {
        {"with the CONNACK", Cat({kConnAck, DataPublish(1)}), kSubAck, {0x01}},
        {"with the SUBACK", kConnAck, Cat({kSubAck, Publishes({1, 2})}), {0x01, 0x02}},
        {"before the SUBACK", kConnAck, Cat({DataPublish(3), kSubAck}), {0x03}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Handshake(c.afterConnect, c.afterSubscribe));
        EXPECT_EQ(pty.Read(c.port.size(), 3000), c.port);
        EXPECT_TRUE(pty.Read(1, 100).empty());
        StopRun();
    }
}

// One read's packets of a sender are all inserted before they are flushed, and a burst longer
// than the four slots still arrives whole.
TEST_F(EngineDelivery, OneReadIsPutInOrderBeforeItIsWritten) {
    struct Case {
        const char* name;
        Bytes segment;
        Bytes port;
    };
    const Case cases[] = {
        {"new sender, 6 before 5", Publishes({6, 5}), {5, 6}},
        {"new sender, 9 8 7", Publishes({9, 8, 7}), {7, 8, 9}},
        {"seven in order", Publishes({1, 2, 3, 4, 5, 6, 7}), {1, 2, 3, 4, 5, 6, 7}},
        {"after 65535 nothing is expected", Publishes({0xFFFF, 3, 2}), {0xFF, 2, 3}},
    };
    uint32_t runs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Handshake(kConnAck, kSubAck));
        ASSERT_TRUE(WaitSubscribed(++runs));
        uint64_t late = engine.Counters().Snapshot().lateDropped;
        ASSERT_TRUE(broker.Write(c.segment));
        EXPECT_EQ(pty.Read(c.port.size(), 3000), c.port);
        EXPECT_TRUE(pty.Read(1, 100).empty());
        EXPECT_EQ(engine.Counters().Snapshot().lateDropped, late);
        StopRun();
    }
}

// A read whose acknowledgement cannot be sent, or behind which the connection ends, has still
// been taken from the broker: the port gets it before the reconnect.
TEST_F(EngineDelivery, DataOfTheLastReadReachesThePortBeforeTheReconnect) {
    uint32_t runs = 0;
    for (bool ackFails : {false, true}) {
        SCOPED_TRACE(ackFails ? "acknowledgement not sent" : "closed behind the data");
        ASSERT_TRUE(Handshake(kConnAck, kSubAck));
        ASSERT_TRUE(WaitSubscribed(++runs));
        size_t lost = events.Count("fault|lost|0");
        if (ackFails) {
            // the engine has read the data and is held before it acknowledges: the reset comes
            // in between
            clock.HoldNextCall();
            ASSERT_TRUE(broker.Write(Publishes({1, 2})));
            ASSERT_TRUE(clock.WaitHeld(5s));
            broker.ResetConnection();
            clock.Release();
        } else {
            ASSERT_TRUE(broker.Write(Publishes({1, 2})));
            broker.CloseConnection();
        }
        EXPECT_EQ(pty.Read(2, 3000), (Bytes{1, 2}));
        EXPECT_TRUE(WaitUntil([&] { return events.Count("fault|lost|0") > lost; }, 5s));
        StopRun();
    }
}

TEST_F(EngineDelivery, EveryDeliveredPacketIsAcknowledged) {
    ASSERT_TRUE(Handshake(Cat({kConnAck, DataPublish(1)}), Cat({kSubAck, DataPublish(2)})));
    EXPECT_EQ(acks, std::vector<Bytes>{PubAck(1)});
    EXPECT_EQ(broker.ReadPacket(3000), PubAck(2));
    EXPECT_EQ(pty.Read(2, 3000), (Bytes{1, 2}));
}

// The application side of the pty is never read: what the line cannot take waits in a bounded
// buffer and the rest is dropped and counted, while every packet is still acknowledged and a stop
// is not held up.
TEST_F(EngineDelivery, ApplicationThatDoesNotReadHoldsNothingUp) {
    constexpr uint16_t kPackets = 2000;  // 128000 bytes for the port: more than it may hold
    ASSERT_TRUE(Handshake(kConnAck, kSubAck));
    ASSERT_TRUE(WaitSubscribed(1));
    Bytes burst;
    for (uint16_t n = 1; n <= kPackets; ++n) burst = Cat({burst, DataPublish(n, 64)});
    ASSERT_TRUE(broker.Write(burst));
    Bytes acked = broker.Read(4u * kPackets, 20000);
    ASSERT_EQ(acked.size(), 4u * kPackets);
    EXPECT_EQ(Bytes(acked.end() - 4, acked.end()), PubAck(kPackets));
    ASSERT_TRUE(
        WaitUntil([&] { return engine.Counters().Snapshot().packetsFromGroup == kPackets; }, 5s));
    auto c = engine.Counters().Snapshot();
    EXPECT_GT(c.bytesNoListener, 0u);
    EXPECT_EQ(c.serialBytesFromGroup + c.bytesNoListener, 64u * kPackets);
    engine.RequestStop();
    EXPECT_TRUE(WaitStopped(3s));
    EXPECT_EQ(events.Last(), "stopped|user");
}

// Writes to the application side until the engine stops taking bytes (for 300 ms); the count.
size_t FillUntilRefused(PtyPair& pty, size_t limit) {
    Bytes chunk(4096, 0x5A);
    size_t written = 0;
    while (written < limit) {
        ssize_t n = ::write(pty.MasterFd(), chunk.data(), chunk.size());
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        pollfd pfd{pty.MasterFd(), POLLOUT, 0};
        if (::poll(&pfd, 1, 300) <= 0) break;
    }
    return written;
}

// A broker that takes the connection and never reads: publishes wait in a bounded buffer, serial
// input waits in the port, and a stop is prompt.
class DeafBroker : public EngineDelivery {
protected:
    // Connects to a broker that never reads and writes to the application side until the engine
    // has stopped publishing: the broker's buffers and then ours are full.
    void StallTheEngine() {
        UseBroker(deaf.Port());
        ASSERT_TRUE(engine.Start(config));
        ASSERT_TRUE(deaf.Accept(5000));
        ASSERT_FALSE(deaf.ReadPacket(5000).empty());
        ASSERT_TRUE(deaf.Write(kConnAck));
        ASSERT_FALSE(deaf.ReadPacket(5000).empty());
        ASSERT_TRUE(deaf.Write(kSubAck));
        ASSERT_TRUE(WaitUntil([&] { return engine.Counters().Snapshot().connected; }, 5s));
        // a slow engine also refuses input for a while: only a count that stands still for half
        // a second means it holds the input back
        size_t written = 0;
        uint64_t published = 0;
        bool held = WaitUntil(
            [&] {
                written += FillUntilRefused(pty, 4u << 20);
                uint64_t before = engine.Counters().Snapshot().serialBytesToGroup;
                pollfd none{-1, 0, 0};
                ::poll(&none, 1, 500);
                published = engine.Counters().Snapshot().serialBytesToGroup;
                return published == before && published > 0;
            },
            30s);
        ASSERT_TRUE(held) << written << " written, " << published << " published";
        ASSERT_LT(published, written);
    }

    ScriptedBroker deaf{4096};
};

TEST_F(DeafBroker, StopIsPrompt) {
    StallTheEngine();
    engine.RequestStop();
    EXPECT_TRUE(WaitStopped(3s));
    EXPECT_EQ(events.Last(), "stopped|user");
}

}  // namespace
}  // namespace norvex::test
