#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "bridge/device_table.h"
#include "bridge/site_env.h"
#include "bridge/tick_clock.h"

namespace norvex {

class PanelSink;
struct RelaySession;

// The record shared by the panel (or the headless service) and the service worker.
//
// Before ServiceWorker::Start the owner fills: session (set up once per process), dialog,
// brokerAddress/brokerPort (e.g. from BrokerFromEnv()), productId (ProductIdFromEnv()),
// groupId, groupSerial, netPortName and deviceTable; optionally clock and reportDevice.  Those
// fields are not touched by anyone else while the worker runs, except as noted per field.
struct ServiceContext {
    // Broker: a numeric IPv4/IPv6 address and its port.
    std::string brokerAddress{kDefaultBrokerHost};
    int32_t groupIndex = -1;  // the panel's current group; -1 when there is none (panel only)
    // Nonzero while the service runs.  Set to 1 by Start, to 0 by whoever asks for a stop (any
    // thread; the worker sees it within 100 ms in every phase) and by the worker when it ends.
    std::atomic<int32_t> running{0};
    PanelSink* dialog = nullptr;  // how the worker reaches the panel; may be null
    // Outcome of the latest broker connect attempt, published done-last (release/acquire).
    std::atomic<uint8_t> connectDone{0};
    std::atomic<uint8_t> connectOk{0};
    // Nonzero while the panel is hidden in the tray: failed connects then raise no notice and
    // the Start button is not touched on a connect.  Written by the panel at any time.
    std::atomic<uint8_t> inTray{0};
    int32_t brokerPort = kDefaultBrokerPort;
    std::string groupSerial;  // the group's serial number; the MQTT password follows from it
    std::string groupId;      // client identifier and the name in the topics
    std::string netPortName;  // network-side port: a path, or a name under /dev
    std::string productId;    // MQTT user name

    // The group's relays.  The worker writes the records during a run; other threads may read
    // only lastHeardTick then.
    DeviceTable deviceTable;
    // Called on the worker thread when a relay's information changed; must not block for long
    // (the group web-service report belongs on a thread of its own).
    DeviceReporter reportDevice;

    const TickClock* clock = &SystemTickClock();
    RelaySession* session = nullptr;
};

}  // namespace norvex
