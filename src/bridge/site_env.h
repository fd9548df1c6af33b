#pragma once
#include <string>
#include <string_view>

namespace norvex {

// A TCP endpoint as the site configures it: a numeric address and a port.
struct BrokerEndpoint {
    std::string host;
    int port = 0;
};

// Broker used when NORVEX_BROKER is not set (a broker on this machine).
inline constexpr std::string_view kDefaultBrokerHost = "127.0.0.1";
inline constexpr int kDefaultBrokerPort = 6002;

// NORVEX_BROKER ("host:port", "host", "[v6]:port", "[v6]"), or 127.0.0.1:6002 when it is unset
// or unusable.
BrokerEndpoint BrokerFromEnv();
// NORVEX_PRODUCT_ID: the MQTT user name; empty when unset.
std::string ProductIdFromEnv();

}  // namespace norvex
