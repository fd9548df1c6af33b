#include "bridge/site_env.h"

#include <cstdlib>

namespace norvex {

namespace {

bool ParsePort(std::string_view text, int* port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
    *port = value;
    return true;
}

}  // namespace

bool ParseBrokerEndpoint(std::string_view text, int defaultPort, BrokerEndpoint* out) {
    std::string_view host = text;
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            portText = rest.substr(1);
            if (portText.empty()) return false;
        }
    } else if (size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        // a bare IPv6 address has several colons and no port
        if (text.find(':') == colon) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            if (portText.empty()) return false;
        }
    }
    int port = defaultPort;
    if (!portText.empty() && !ParsePort(portText, &port)) return false;
    if (host.empty() || port < 1 || port > 65535) return false;
    out->host = std::string(host);
    out->port = port;
    return true;
}

BrokerEndpoint BrokerFromEnv() {
    BrokerEndpoint hp{std::string(kDefaultBrokerHost), kDefaultBrokerPort};
    if (const char* env = std::getenv("NORVEX_BROKER"); env && *env) {
        ParseBrokerEndpoint(env, kDefaultBrokerPort, &hp);
    }
    return hp;
}

std::string ProductIdFromEnv() {
    const char* env = std::getenv("NORVEX_PRODUCT_ID");
    return env ? std::string(env) : std::string();
}

}  // namespace norvex
