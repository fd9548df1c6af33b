#include "groupservice/endpoints.h"

#include <cstdlib>

namespace norvex {

namespace {

constexpr const char* kDefaultGroupService = "127.0.0.1:50001";
constexpr uint16_t kGroupServicePort = 50001;

std::string EnvOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::string(fallback);
}

}  // namespace

std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort) {
    HostPort hp;
    size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        hp.host = std::string(text);
        hp.port = defaultPort;
    } else {
        hp.host = std::string(text.substr(0, colon));
        std::string_view digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        unsigned value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value == 0 || value > 65535) return std::nullopt;
        hp.port = static_cast<uint16_t>(value);
    }
    if (hp.host.empty() || hp.host.find_first_of("/ \t@?#") != std::string::npos) {
        return std::nullopt;
    }
    return hp;
}

HostPort GroupServiceFromEnvironment() {
    auto hp = ParseHostPort(EnvOr("NORVEX_GROUP_SERVICE", kDefaultGroupService), kGroupServicePort);
    return hp ? *hp : HostPort{"127.0.0.1", kGroupServicePort};
}

std::string OnenetApiFromEnvironment() { return EnvOr("NORVEX_ONENET_API", "127.0.0.1:50001"); }

GroupServiceEndpoints GroupServiceEndpoints::FromEnvironment() {
    GroupServiceEndpoints e;
    e.groupService = GroupServiceFromEnvironment();
    e.onenetApi = OnenetApiFromEnvironment();
    return e;
}

}  // namespace norvex
