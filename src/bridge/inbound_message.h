#pragma once
#include <cstdint>

#include "bridge/device_table.h"
#include "bridge/inbound_queue.h"
#include "bridge/order_queue.h"
#include "bridge/relay_topics.h"

namespace norvex {

class PanelSink;

// What a received message may change.
struct InboundTargets {
    const RelayIdentity* ids = nullptr;
    OrderQueue* orders = nullptr;
    DeviceTable* devices = nullptr;
    PanelSink* panel = nullptr;               // may be null
    const DeviceReporter* reporter = nullptr;  // may be null
};

enum class InboundResult { Ignored, Data, Ping, BaseInfo };

// Data topic: decoded and handed to the order queue.  Status topic: "pingack" and "baseinfo"
// update the device table.  Anything else, and every malformed message, is ignored.
InboundResult HandleInboundMessage(const ReceivedMessage& msg, const InboundTargets& t, uint32_t now);

}  // namespace norvex
