#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/net_port.h"
#include "bridge/tls_settings.h"
#include "common/relay_record.h"

namespace norvex {

// Timing for request/response traffic; 0 leaves each rule as it is by default.
struct RelayTuning {
    // A relay packet held behind a missing one is written once it has waited this long (ms); the
    // missing one is given up.  0: only a full set of slots or the 180 s lapse gives it up.
    uint32_t reorderWaitMs = 0;
    // Serial input goes out once the port has been quiet this long (ms), or at 64 bytes.  0: it
    // goes out 20 ms after it was first seen.
    uint32_t gatherIdleMs = 0;
    // Serial input that waited longer than this (ms) for the broker is dropped when the link is
    // back.  0: it is all sent then.
    uint32_t dropStaleMs = 0;
};

// Everything one run of the engine needs, as a plain value.
struct EngineConfig {
    std::string brokerHost = "127.0.0.1";  // a numeric IPv4 or IPv6 address
    int brokerPort = 6002;
    TlsSettings brokerTls;            // how the link to the broker is secured; plain TCP by default
    std::string groupId;              // client identifier and the name in the topics
    std::string groupSerial;          // the MQTT password follows from it
    std::string productId;            // MQTT user name
    std::string portName;             // network-side port: a path, a name under /dev, or "pty:PATH"
    VirtualPortOptions virtualPort;   // access to a "pty:PATH" port's terminal
    std::vector<RelayRecord> relays;  // the relay table, in the web service's order
    RelayTuning tuning;
};

}  // namespace norvex
