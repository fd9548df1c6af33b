#pragma once
#include <poll.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bridge/broker_socket.h"
#include "bridge/device_table.h"
#include "bridge/engine_config.h"
#include "bridge/engine_counters.h"
#include "bridge/engine_events.h"
#include "bridge/net_port.h"
#include "bridge/order_queue.h"
#include "bridge/relay_topics.h"
#include "bridge/tick_clock.h"
#include "bridge/wake_fd.h"
#include "mqtt/mqtt.h"

namespace norvex {

// Timing of the loop, in ms.
inline constexpr uint32_t kReconnectPauseMs = 1000;
inline constexpr uint32_t kGatherMs = 20;        // serial bytes wait this long for company
inline constexpr uint32_t kKeepAliveMs = 60000;  // PINGREQ after this long without sending

// Most serial bytes taken from the port in one pass: 16 full packets.
inline constexpr size_t kSerialTakeBytes = 16 * kMaxHostData;
// Acknowledgements one read may produce are held this long before they leave together.
inline constexpr size_t kDeferredAckBytes = 8192;
// Serial input waits in the port while this much waits for the broker: a broker that does not
// read costs a full buffer, never a blocked loop.
inline constexpr size_t kOutgoingPause = 64 * 1024;
// Most serial input held, with the time it was read, while the link is down and stale input is
// to be dropped; the rest waits in the port.
inline constexpr size_t kHeldInputBytes = 64 * 1024;

// Serial bytes read while the link was down, and when (ms).
struct HeldInput {
    uint32_t tick = 0;
    std::vector<uint8_t> bytes;
};

// Where a phase leaves the loop.
enum class Phase { kNext, kReconnect, kStop };

// Collects what the order queue releases during one pass, so a burst of relay packets costs the
// port one write.
class BatchedPortWriter final : public PortWriter {
public:
    int WriteBytes(const uint8_t* data, size_t len) override {
        out_.insert(out_.end(), data, data + len);
        return static_cast<int>(len);
    }
    bool Empty() const { return out_.empty(); }
    const std::vector<uint8_t>& Bytes() const { return out_; }
    void Clear() { out_.clear(); }

private:
    std::vector<uint8_t> out_;
};

// The engine's working state.  Everything is touched by the engine thread only, except
// stopRequested and wake, which RequestStop() uses from any thread.
struct EngineRun {
    EngineRun(EngineEvents& e, const TickClock& c, EngineCounters& n, DeviceTable& r)
        : events(e), clock(c), counters(n), relays(r) {}
    ~EngineRun();
    EngineRun(const EngineRun&) = delete;
    EngineRun& operator=(const EngineRun&) = delete;

    // For the life of the engine.
    EngineEvents& events;
    const TickClock& clock;
    EngineCounters& counters;
    DeviceTable& relays;
    mqtt::Session mqtt{};
    mqtt::PacketChain out{};  // every packer writes here; released after each send
    BrokerSocket socket;
    WakeFd wake;
    std::atomic<bool> stopRequested{false};
    // Last id used; continues across reconnects and runs.  Written by the engine thread, read
    // by anyone.
    std::atomic<uint16_t> publishPacketId{0};
    TraceHook trace;
    bool sessionReady = false;
    // While a read is handled, the acknowledgements it causes collect here and leave in one
    // write afterwards.
    bool deferWrites = false;
    std::vector<uint8_t> deferred;

    // For one run.
    EngineConfig config;
    RelayIdentity ids;
    std::unique_ptr<NetPort> port;
    uint64_t portDropped = 0;  // the port's DroppedBytes() already counted
    OrderQueue orders;
    BatchedPortWriter portOut;
    StopReason stopReason = StopReason::kNone;
    std::string stopDetail;
    bool subscribedBefore = false;  // a later subscription of this run is a reconnect

    // For one connection.
    bool connAckSeen = false;
    int connAckCode = -1;
    bool subAckSeen = false;
    int32_t lastReceiveResult = 0;  // of the last read from the broker, for a stop's reason
    uint16_t hostSequence = 0;      // per subscription: 0, 1, ..., 65535, 1, ...
    uint32_t lastSendTick = 0;      // last packet handed to the broker (keep-alive)
    // Bytes wait in the socket's outgoing buffer: since outProgressTick (ms) the broker has
    // taken none of them; SentTotal() was outSentSeen then.
    bool outWaiting = false;
    uint32_t outProgressTick = 0;
    uint64_t outSentSeen = 0;
    // A PINGREQ or PUBLISH of ours wants an answer: since askTick (ms) the broker has sent
    // nothing; ReceivedTotal() was receivedAtAsk then.
    bool answerOwed = false;
    uint32_t askTick = 0;
    uint64_t receivedAtAsk = 0;

    // Serial bytes taken from the port and not yet published: holding them here rather than in
    // the port's queue lets the loop sleep in poll() until new bytes come.
    uint8_t gather[kSerialTakeBytes] = {};
    size_t gathered = 0;
    bool gathering = false;      // the gather window is open, since lastInputTick
    uint32_t lastInputTick = 0;  // serial input last seen empty, first (or, with an idle gather,
                                 // last) seen, or published

    // Input read while the link was down (tuning.dropStaleMs only), oldest first; it goes out
    // after the gathered bytes and before what the port holds.
    std::deque<HeldInput> held;
    size_t heldBytes = 0;
    bool portWatchOff = false;  // the port failed or hung up during this outage: left alone
};

// Small steps shared by the phases (relay_engine.cpp).
uint32_t NowMs(const EngineRun& run);
bool Stopping(const EngineRun& run);
void Emit(EngineRun& run, EngineStatus status);
void EmitFault(EngineRun& run, NetworkFault fault);
// Sleeps ms; false when a stop was asked for meanwhile.
bool Pause(EngineRun& run, uint32_t ms);

// Port to group (to_group.cpp).
enum class SerialStep { kIdle, kPublished, kReconnect, kStop, kPortFailed };
// Gathers the port's input and publishes what is due: 64 bytes at once, fewer once their
// gather window has passed.  portReady: the port reported input; alert: a hang-up or error.
SerialStep ServeSerial(EngineRun& run, bool portReady, bool alert);
// While the broker does not take what waits for it, serial input stays in the port.
bool BrokerBacklogged(const EngineRun& run);
// How long gathered bytes wait for company.
uint32_t GatherWindowMs(const EngineRun& run);
// Sends `out` and releases it whatever the result; false when the send failed.
bool SendOut(EngineRun& run);

// Group to port (from_group.cpp).
// One read from the broker with every packet it completes handled; the acknowledgements it
// caused go out together.  The codec's result (0, kErrNoData, or a negative code).
int32_t ReceiveFromBroker(EngineRun& run);
// The codec's PUBLISH handler: relay data into ordered delivery, status into the relay table.
int32_t OnGroupPublish(void* arg, uint16_t packetId, const char* topic, const uint8_t* payload,
                       uint32_t length, int32_t dup, int32_t qos);
// Moves every packet of the order queue that is due into the pass's batch.  Packets written,
// or -1 (the batch never fails; kept for the port's contract).
int FlushDue(EngineRun& run);
// Writes what the order queue released in this pass to the port; false when the port failed.
bool CommitPortOut(EngineRun& run);

// While the link is down (tuning.dropStaleMs only), the port is read so that the age of its
// input is known (engine_outage.cpp).  WatchPortWhileDown fills two poll() entries (fd -1 when
// there is nothing to watch); ServePortWhileDown reads what they reported.
void WatchPortWhileDown(EngineRun& run, pollfd* two);
void ServePortWhileDown(EngineRun& run, const pollfd* two);
// When the link is back: drops, and counts, the input that waited longer than the limit.
void DropStaleInput(EngineRun& run);
// Moves held input behind the gathered bytes, as far as the gather buffer has room; the count.
size_t TakeHeldInput(EngineRun& run);

// A short text for a codec result code ("out of memory"), for the reasons a run reports.
std::string CodecFailureText(int32_t code);

// The phases of a connection.  Each returns kNext when its job is done, kReconnect when the
// connection must be made again (the socket is closed then), kStop when the run must end
// (run.stopReason says why).
Phase ConnectPhase(EngineRun& run);    // pause, TCP connect, CONNECT and CONNACK
Phase SubscribePhase(EngineRun& run);  // SUBSCRIBE and SUBACK; resets the host sequence
Phase RelayPhase(EngineRun& run);      // relay passes until the connection breaks

// Installs the codec's reader, writer and handlers for `run` (engine_session.cpp).  The
// codec's result: 0, or a negative code when the receive buffer cannot be allocated.
int32_t SetupEngineSession(EngineRun& run);
// Hands the held acknowledgements to the socket's outgoing buffer; false when the connection
// failed or the buffer is full.
bool QueueDeferred(EngineRun& run);

}  // namespace norvex
