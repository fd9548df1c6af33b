#include "common/host_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace norvex {

namespace {

std::optional<uint16_t> ParsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

bool IsIpv6Address(std::string_view text) {
    in6_addr addr{};
    return text.size() < INET6_ADDRSTRLEN && text.find('\0') == std::string_view::npos &&
           ::inet_pton(AF_INET6, std::string(text).c_str(), &addr) == 1;
}

bool IsHostName(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

}  // namespace

std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort) {
    std::string_view host = text;
    std::optional<uint16_t> port = defaultPort;
    bool ipv6 = false;
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = ParsePort(rest.substr(1));
        }
        ipv6 = true;
    } else if (size_t colon = text.find(':'); colon != std::string_view::npos) {
        if (text.find(':', colon + 1) != std::string_view::npos) {
            ipv6 = true;  // several colons: an address without brackets, and no port
        } else {
            host = text.substr(0, colon);
            port = ParsePort(text.substr(colon + 1));
        }
    }
    if (!port || *port == 0) return std::nullopt;
    if (ipv6 ? !IsIpv6Address(host) : !IsHostName(host)) return std::nullopt;
    return HostPort{std::string(host), *port};
}

std::string FormatHostPort(const HostPort& endpoint) {
    std::string port = std::to_string(endpoint.port);
    if (endpoint.host.find(':') != std::string::npos) return "[" + endpoint.host + "]:" + port;
    return endpoint.host + ":" + port;
}

}  // namespace norvex
