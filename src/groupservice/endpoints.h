#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvex {

struct HostPort {
    std::string host;
    uint16_t port = 0;
};

// "host:port" or "host" (then defaultPort).  Empty host, a port outside 1..65535 or junk after
// the digits give nullopt.
std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort);

// NORVEX_GROUP_SERVICE (host:port), default 127.0.0.1:50001; an unusable value falls back to
// the default.
HostPort GroupServiceFromEnvironment();

// NORVEX_ONENET_API (host[:port]) as written, default "127.0.0.1:50001".
std::string OnenetApiFromEnvironment();

// Where the group dialogs send their requests.
struct GroupServiceEndpoints {
    HostPort groupService{"127.0.0.1", 50001};
    std::string onenetApi = "127.0.0.1:50001";

    static GroupServiceEndpoints FromEnvironment();
};

}  // namespace norvex
