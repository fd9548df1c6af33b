#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "bridge/net_port.h"

namespace norvex {

// One relay of the group, as the group web service lists it.  Texts are UTF-8, at most 31
// UTF-16 units.
struct RelayEntry {
    int32_t devid = 0;
    std::string iccid;
    std::string imei;
};

// Everything one run of the engine needs, as a plain value.
struct EngineConfig {
    std::string brokerHost = "127.0.0.1";  // a numeric IPv4 or IPv6 address
    int brokerPort = 6002;
    std::string groupId;             // client identifier and the name in the topics
    std::string groupSerial;         // the MQTT password follows from it
    std::string productId;           // MQTT user name
    std::string portName;            // network-side port: a path, a name under /dev, or "pty:PATH"
    VirtualPortOptions virtualPort;  // access to a "pty:PATH" port's terminal
    std::vector<RelayEntry> relays;  // the relay table, in the web service's order
};

}  // namespace norvex
