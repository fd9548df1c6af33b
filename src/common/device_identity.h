#pragma once
#include <cstddef>

namespace norvex {

// Begins the MQTT password of a group host and the serial number under which the group's
// platform device is registered: the bridge and the registration must agree on it.
inline constexpr char kDeviceLoginPrefix[] = "NRVX";

// The relay tables keep a relay's texts (information text, iccid, imei) in 32-unit UTF-16
// fields with a terminator: at most 31 units each.
inline constexpr size_t kDeviceTextUnits = 31;

}  // namespace norvex
