#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/device_identity.h"

namespace norvex {

// A relay's identity and state from "baseinfo:<devid>,<text>,<n1>,<n2>,<iccid>,<imei>,".
// Texts are valid UTF-8, cut to kDeviceTextUnits.
struct BaseInfo {
    int32_t devid = 0;
    std::string text;
    int32_t value1 = 0;
    int32_t value2 = 0;
    std::string iccid;
    std::string imei;
};

enum class StatusKind { kIgnored, kPing, kBaseInfo };

struct StatusMessage {
    StatusKind kind = StatusKind::kIgnored;
    int32_t pingDevid = 0;  // for Ping
    BaseInfo info;          // for BaseInfo
};

// Parses a payload of the status topic.  Ignored: no ":" or nothing after it, an unknown kind,
// a "pingack" without a number, a "baseinfo" with fewer than six complete fields.  The payload
// ends at `length` or at a NUL byte, whichever comes first.
StatusKind ParseStatusMessage(const uint8_t* payload, size_t length, StatusMessage* out);

}  // namespace norvex
