#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/relay_record.h"

namespace norvex {

// What the relay engine tells its owner.  No texts for users and no widgets: a front end turns
// these into what its users see (src/shell for norvexd, src/panel for the Qt window).

enum class EngineState : uint8_t {
    kOpeningPort,   // the run has begun; the network-side port is being opened
    kPortOpen,      // the port is open: the service runs from the user's point of view
    kConnecting,    // a TCP connect to the broker has begun (after the reconnect pause)
    kConnected,     // TCP is up; CONNECT is on its way
    kLoggedIn,      // a CONNACK came (whatever its code: see EngineStatus::connAckCode)
    kSubscribed,    // a SUBACK came: relaying
    kNetworkFault,  // the connection failed or was lost; the engine reconnects by itself
    kStopped,       // the run is over (see EngineStatus::stopReason); the last event of a run
};

// How long the broker has to answer: the connect, the CONNACK, the SUBACK, and anything at all
// after a PINGREQ or PUBLISH of ours.
inline constexpr uint32_t kAnswerLimitMs = 20000;

enum class NetworkFault : uint8_t {
    kNone,
    kConnectFailed,    // the TCP connect failed or timed out
    kLoginFailed,      // no CONNACK: closed, reset or silent while we waited for it
    kSubscribeFailed,  // closed, reset or silent while we waited for the SUBACK
    kConnectionLost,   // the broker closed or reset the connection while relaying
    kBrokerSilent,     // asked (PINGREQ, PUBLISH), the broker sent nothing for the answer limit
    kSendFailed,       // the broker would not take our bytes
    kLoginNotBuilt,    // the run's identity makes no CONNECT (detail says why); tried again all
                       // the same, but it cannot succeed before the configuration changes
};

enum class StopReason : uint8_t {
    kNone,
    kUserStop,         // RequestStop()
    kInvalidGroupId,   // the group ID can never log in (not letters and digits)
    kPortOpenFailed,   // the network-side port could not be opened
    kPortFailed,       // the port failed while the service ran (unplugged, hung up)
    kMalformedPacket,  // the broker sent something that breaks MQTT
    kPublishNotBuilt,  // a PUBLISH could not be built (out of memory)
    kStartFailed,      // the engine's own resources could not be set up
};

// One state change.  Fields that do not apply to the state keep their defaults.
struct EngineStatus {
    EngineState state = EngineState::kStopped;
    NetworkFault fault = NetworkFault::kNone;  // kNetworkFault
    int sysErrno = 0;      // kNetworkFault, kStopped: the system's reason, 0 when none
    int connAckCode = -1;  // kLoggedIn, and kNetworkFault after a CONNACK: its return code
    StopReason stopReason = StopReason::kNone;  // kStopped
    // kStopped after a port failure or a malformed packet, kNetworkFault: the system's words
    // for it ("Connection refused", "TLS handshake failed: certificate verify failed: ...")
    std::string detail;
};

// A relay reported itself.  row: its index in the relay table the run was started with.
struct RelayHeard {
    size_t row = 0;
    int32_t devid = 0;
    bool baseInfo = false;  // a "baseinfo" (iccid and imei below are current); else a "pingack"
    std::string iccid;
    std::string imei;
};

// The one interface the engine reports to.  Every call comes from the engine's own thread, in
// the order things happened, and the engine waits for it to return: a receiver may copy what it
// needs, take a short lock, post to another thread or write a line, but must not block on the
// network or on a user, must not wait for the thread that calls RelayEngine::Join (that would
// deadlock a stop), and must not call back into the engine except RequestStop() and the
// lock-free readers (counters, LastHeardTick).
class EngineEvents {
public:
    virtual ~EngineEvents() = default;
    virtual void OnState(const EngineStatus& status) = 0;
    virtual void OnRelayHeard(const RelayHeard& heard) = 0;
    // A relay's identity changed; the group web service is to be told.  The record is the
    // receiver's to copy, so that the report may be sent on another thread.
    virtual void OnRelayInfoChanged(const RelayRecord& report) = 0;
};

}  // namespace norvex
