#pragma once
#include <string>

#include "common/host_port.h"

namespace norvex {

// Where the group dialogs send their requests.
struct GroupServiceEndpoints {
    HostPort groupService{"127.0.0.1", 50001};
    std::string onenetApi = "127.0.0.1:50001";  // the authority of the registration URL
};

// The endpoints from the site's two values (nullptr or empty: not given), as the programs read
// them from NORVEX_GROUP_SERVICE and NORVEX_ONENET_API:
//   groupService  host:port, host, [v6]:port or [v6]; default 127.0.0.1:50001
//   onenetApi     host[:port], host or [v6] with an optional port, kept as written; default
//                 "127.0.0.1:50001"
// An unusable value falls back to its default.
GroupServiceEndpoints ReadGroupServiceEndpoints(const char* groupService, const char* onenetApi);

}  // namespace norvex
