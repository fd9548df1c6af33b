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

// Parses "host:port", "host" (takes defaultPort) or "[v6-address]:port".  False, with *out left
// untouched, when the host is empty or the port is not a number in 1..65535.
bool ParseBrokerEndpoint(std::string_view text, int defaultPort, BrokerEndpoint* out);

// NORVEX_BROKER, or 127.0.0.1:6002 when it is unset or unusable.
BrokerEndpoint BrokerFromEnv();
// NORVEX_PRODUCT_ID: the MQTT user name; empty when unset.
std::string ProductIdFromEnv();

}  // namespace norvex
