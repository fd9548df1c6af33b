#pragma once
#include <cstdint>
#include <vector>

#include "bridge/order_queue.h"
#include "bridge/relay_topics.h"

namespace norvex {

struct ServiceContext;
struct RelaySession;
class SerialPort;

// Most serial bytes taken from the port in one pass: 16 full packets.
inline constexpr size_t kSerialTakeBytes = 16 * kMaxHostData;

// The state of one run of the relay loop: shared context, the process-wide broker session, the
// open serial port, and what lives for the run or for one subscription.
struct RelayRun {
    ServiceContext& ctx;
    RelaySession& s;
    SerialPort& port;
    RelayIdentity ids{};
    OrderQueue orders{};
    uint16_t hostSequence = 0;   // per subscription: 0, 1, ..., 65535, 1, ...
    uint32_t lastInputTick = 0;  // ms: serial input last seen empty, first seen, or last read
    bool gathering = false;      // the gather window is open (since lastInputTick)
    // Serial bytes taken from the port and not yet published.  Holding them here rather than in
    // the port's queue lets the loop sleep in poll() on the port for the next bytes, and a long
    // burst is read in few calls.  Full 64-byte pieces go out at once; a shorter rest waits for
    // the gather window.
    uint8_t gather[kSerialTakeBytes] = {};
    size_t gathered = 0;
    // What the order queue released during the current pass, written to the port in one call.
    std::vector<uint8_t> portOut{};
    uint32_t lastSendTick = 0;   // ms: last packet handed to the broker (keep-alive)
    bool portFailed = false;     // the serial port failed: the run ends with a message
};

// Where a phase leaves the loop.
enum class Phase { Next, Reconnect, Stop };

// Timing of the loop, in ms.
inline constexpr uint32_t kReconnectPauseMs = 1000;
inline constexpr uint32_t kAnswerLimitMs = 20000;   // connect result, CONNACK, SUBACK
inline constexpr uint32_t kGatherMs = 20;           // serial bytes wait this long for company
inline constexpr uint32_t kKeepAliveMs = 60000;     // PINGREQ after this long without sending
inline constexpr int kIdleWakeMs = 100;             // the stop flag and the lapses are checked

}  // namespace norvex
