#include "groupservice/endpoints.h"

#include <cstdlib>

namespace norvex {

namespace {

constexpr uint16_t kGroupServicePort = 50001;
constexpr const char* kDefaultOnenetApi = "127.0.0.1:50001";
// A registration URL without a port goes to the HTTP port.
constexpr uint16_t kHttpPort = 80;

const char* EnvOrNull(const char* name) {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
}

}  // namespace

HostPort GroupServiceFromEnvironment() {
    if (const char* env = EnvOrNull("NORVEX_GROUP_SERVICE")) {
        if (auto hp = ParseHostPort(env, kGroupServicePort)) return *hp;
    }
    return HostPort{"127.0.0.1", kGroupServicePort};
}

std::string OnenetApiFromEnvironment() {
    const char* env = EnvOrNull("NORVEX_ONENET_API");
    return env && ParseHostPort(env, kHttpPort) ? std::string(env) : std::string(kDefaultOnenetApi);
}

GroupServiceEndpoints GroupServiceEndpoints::FromEnvironment() {
    GroupServiceEndpoints e;
    e.groupService = GroupServiceFromEnvironment();
    e.onenetApi = OnenetApiFromEnvironment();
    return e;
}

}  // namespace norvex
