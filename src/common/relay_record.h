#pragma once
#include <cstdint>
#include <string>

namespace norvex {

// One relay of a group: its device number and the two texts it identifies itself by.  The one
// record for it everywhere: the group service's device list, the start action that lists and
// hands it on, the engine's configuration, and the report the engine makes when a relay's texts
// change.  Texts are UTF-8, at most kDeviceTextUnits (31) UTF-16 units.
struct RelayRecord {
    int32_t devid = 0;
    std::string iccid;
    std::string imei;
};

}  // namespace norvex
