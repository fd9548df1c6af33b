#include "groupservice/endpoints.h"

namespace norvex {

namespace {

constexpr uint16_t kGroupServicePort = 50001;
constexpr const char* kDefaultOnenetApi = "127.0.0.1:50001";
// A registration URL without a port goes to the HTTP port.
constexpr uint16_t kHttpPort = 80;

bool Given(const char* value) {
    return value != nullptr && *value != '\0';
}

}  // namespace

GroupServiceEndpoints ReadGroupServiceEndpoints(const char* groupService, const char* onenetApi) {
    GroupServiceEndpoints e;
    e.groupService = HostPort{"127.0.0.1", kGroupServicePort};
    if (Given(groupService)) {
        if (auto hp = ParseHostPort(groupService, kGroupServicePort)) e.groupService = *hp;
    }
    e.onenetApi = Given(onenetApi) && ParseHostPort(onenetApi, kHttpPort)
                      ? std::string(onenetApi)
                      : std::string(kDefaultOnenetApi);
    return e;
}

}  // namespace norvex
