#pragma once
#include <string_view>

namespace norvex {

// The broker when the site names none: one on this machine.  norvexd, the panel and
// norvex-relay share it, so that a relay and a host set up with no broker meet.
inline constexpr std::string_view kDefaultBrokerHost = "127.0.0.1";
inline constexpr int kDefaultBrokerPort = 6002;

}  // namespace norvex
