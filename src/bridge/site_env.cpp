#include "bridge/site_env.h"

#include <cstdlib>

#include "common/host_port.h"

namespace norvex {

BrokerEndpoint BrokerFromEnv() {
    if (const char* env = std::getenv("NORVEX_BROKER"); env && *env) {
        if (auto hp = ParseHostPort(env, kDefaultBrokerPort)) return {hp->host, hp->port};
    }
    return {std::string(kDefaultBrokerHost), kDefaultBrokerPort};
}

std::string ProductIdFromEnv() {
    const char* env = std::getenv("NORVEX_PRODUCT_ID");
    return env ? std::string(env) : std::string();
}

}  // namespace norvex
