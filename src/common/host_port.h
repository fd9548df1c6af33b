#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvex {

// A TCP endpoint as the environment names one.
struct HostPort {
    std::string host;  // a name, an IPv4 address or an IPv6 address (without brackets)
    uint16_t port = 0;
};

// "host:port", "host" (then defaultPort), "[v6]:port", "[v6]", and a bare IPv6 address ("::1",
// with defaultPort).  nullopt for an empty host, a port that is not 1..65535 in at most five
// digits, a bracket that is not closed, brackets around anything but an IPv6 address, and a
// host name with anything but letters, digits, ".", "-" and "_" (so that it stays one host in a
// URL: no "/", "@", "?", "#", white space).
std::optional<HostPort> ParseHostPort(std::string_view text, uint16_t defaultPort);

// "host:port" as a URL's authority writes it: an IPv6 address in brackets.
std::string FormatHostPort(const HostPort& endpoint);

}  // namespace norvex
