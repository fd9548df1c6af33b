#pragma once
#include <string>

#include "common/host_port.h"

namespace norvex {

// NORVEX_GROUP_SERVICE (host:port, host, [v6]:port or [v6]), default 127.0.0.1:50001; an
// unusable value falls back to the default.
HostPort GroupServiceFromEnvironment();

// NORVEX_ONENET_API (host[:port], host or [v6] with an optional port) as written, default
// "127.0.0.1:50001"; an unusable value falls back to the default.
std::string OnenetApiFromEnvironment();

// Where the group dialogs send their requests.
struct GroupServiceEndpoints {
    HostPort groupService{"127.0.0.1", 50001};
    std::string onenetApi = "127.0.0.1:50001";  // the authority of the registration URL

    static GroupServiceEndpoints FromEnvironment();
};

}  // namespace norvex
