#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/relay_engine.h"
#include "bridge/tick_clock.h"
#include "recording_events.h"
#include "support/mosquitto_broker.h"
#include "support/pty_pair.h"

struct mosquitto;
struct mosquitto_message;

namespace norvex::test {

// The relays' side of the group, on libmosquitto (an MQTT implementation independent of ours):
// records what the host publishes and publishes relay data and status.  Resubscribes by itself
// after a broker restart.
class GroupClient {
public:
    struct Message {
        std::vector<uint8_t> payload;
        std::chrono::steady_clock::time_point at;
    };

    GroupClient();
    ~GroupClient();
    GroupClient(const GroupClient&) = delete;
    GroupClient& operator=(const GroupClient&) = delete;

    // Connects, subscribes to `topic` and waits for the SUBACK.
    bool Connect(int port, const std::string& topic);
    // Reconnects after a broker restart and waits for the new SUBACK.
    bool Reconnect();
    bool Publish(const std::string& topic, const std::string& payload);

    std::vector<Message> Messages() const;
    bool WaitMessages(size_t count, std::chrono::milliseconds limit) const;

private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    static void OnMessage(mosquitto*, void* self, const ::mosquitto_message* msg);

    mosquitto* m_ = nullptr;
    std::string topic_;
    std::atomic<int> subacks_{0};
    mutable std::mutex mu_;
    std::vector<Message> messages_;
};

// The tick clock plus an offset a test can move, so minutes can pass at once; frozen, it stands
// still at `frozenAt` (+ offset) so that a window of milliseconds can be stepped through.
class OffsetClock final : public TickClock {
public:
    uint32_t NowMs() const override {
        calls.fetch_add(1);
        if (holdNext.exchange(false)) Hold();
        uint32_t base = frozen.load() ? frozenAt.load() : SystemTickClock().NowMs();
        return base + offset.load(std::memory_order_relaxed);
    }
    void Freeze() {
        frozenAt.store(SystemTickClock().NowMs());
        frozen.store(true);
    }
    std::atomic<uint32_t> offset{0};
    std::atomic<bool> frozen{false};
    std::atomic<uint32_t> frozenAt{0};

    // Holds the next caller of NowMs() (the engine, in the middle of a step) until Release() or
    // for at most five seconds, so that a test can change the world between two of its actions.
    void HoldNextCall() {
        released.store(false);
        holdNext.store(true);
    }
    bool WaitHeld(std::chrono::milliseconds limit) const;
    void Release() { released.store(true); }
    // An idle engine sleeps without looking at the clock; one waiting for a window looks at it
    // every time it wakes.
    mutable std::atomic<uint64_t> calls{0};

private:
    void Hold() const;
    mutable std::atomic<bool> holdNext{false};
    mutable std::atomic<bool> holding{false};
    std::atomic<bool> released{false};
};

// The broker's answers a scripted broker most often sends: CONNACK accepted, and the SUBACK of
// packet 1 granting QoS 2 to both topics.
inline const std::vector<uint8_t> kConnAck = {0x20, 0x02, 0x00, 0x00};
inline const std::vector<uint8_t> kSubAck = {0x90, 0x04, 0x00, 0x01, 0x02, 0x02};

// A TCP listener on 127.0.0.1 that plays the broker byte by byte from the test thread.
class ScriptedBroker {
public:
    // receiveBuffer > 0: the connection's receive buffer is that small, so that a broker that
    // does not read is full soon.
    explicit ScriptedBroker(int receiveBuffer = 0);
    ~ScriptedBroker();
    int Port() const { return port_; }
    bool Accept(int timeoutMs);
    // Reads exactly n bytes (or fewer when the limit passes or the peer closes).
    std::vector<uint8_t> Read(size_t n, int timeoutMs);
    // Reads one MQTT packet: byte 0, the remaining length and the rest.
    std::vector<uint8_t> ReadPacket(int timeoutMs);
    bool Write(const std::vector<uint8_t>& bytes);
    // Closes the accepted connection (the listener stays).
    void CloseConnection();
    // The same, but the engine sees a reset rather than an orderly close.
    void ResetConnection();

private:
    int listen_ = -1;
    int conn_ = -1;
    int port_ = 0;
};

inline constexpr char kGroupId[] = "G4711";
inline constexpr char kGroupSerial[] = "77";

// A QoS 1 PUBLISH on the data topic carrying packet `number` of `sender`: `width` bytes of
// `number`'s low byte, so the port shows which packets came and in which order.  Packet id =
// number.
std::vector<uint8_t> DataPublish(uint32_t sender, uint16_t number, size_t width = 1);

// An engine wired to a pty and a broker port, with its events recorded.
class EngineFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void UseBroker(int port);
    // Starts the engine and waits for its `n`-th completed subscription.
    bool StartAndSubscribe(uint32_t n = 1);
    bool WaitSubscribed(uint32_t n);
    bool WaitStopped(std::chrono::milliseconds limit);
    std::string Topic(const char* suffix) const {
        return std::string("/group/") + kGroupId + suffix;
    }

    PtyPair pty;
    RecordingEvents events;
    OffsetClock clock;
    EngineConfig config;
    RelayEngine engine{events, clock};
};

}  // namespace norvex::test
