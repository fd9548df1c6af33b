#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/device_identity.h"

namespace norvex {

// The device registration that gives a new group its ID.
inline constexpr const char* kRegisterCode = "Tq4WmZ8cRv2KxN7b";
inline constexpr const char* kRegistrationTitle = "Group Host";
// The platform's ids and keys fit 127 bytes.
inline constexpr size_t kRegistrationFieldMax = 127;

// "http://" + apiHost + "/register_de?register_code=" + kRegisterCode.
std::string RegistrationUrl(std::string_view apiHost);

// {"sn":"NRVX<serial>","title": "Group Host"}
std::string RegistrationBody(int32_t serial);

enum class RegistrationCheck {
    kOk,
    kBadErrno,    // no "errno", or its integer value is not 0 (also: not JSON at all)
    kBadError,    // no "error", or it is not the string "succ"
    kNoData,      // no "data"
    kNoKey,       // "data" has no string member "key"
    kNoDeviceId,  // "data" has no usable string member "device_id"
};

struct RegistrationReply {
    RegistrationCheck check = RegistrationCheck::kBadErrno;
    std::string deviceId;  // set when check is kOk
};

// Checks a registration reply in the order errno, error, data, key, device_id.  The first
// member of a name counts; member order does not matter.  The whole reply is read.
RegistrationReply CheckRegistrationReply(std::string_view reply);

// The message the user sees for a failed check (empty for kOk).
const char* RegistrationMessage(RegistrationCheck check);

}  // namespace norvex
