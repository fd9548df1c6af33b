#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/device_identity.h"
#include "common/relay_record.h"

namespace norvex {

// The three fields of a group-information reply "serial,name,creation time".
struct GroupInfoFields {
    std::string serial;   // before the first ",", untrimmed
    std::string name;     // between the first and the second ",", untrimmed
    std::string created;  // everything after the second ",", further commas included
};

// nullopt when the reply holds fewer than two ",".
std::optional<GroupInfoFields> SplitGroupInfo(std::string_view reply);

// Group login: the whole reply lower-cased; "err" or fewer than two "," fail.  The result is
// field 2, trimmed (and so in lower case).
std::optional<std::string> ReadGroupLoginReply(std::string_view reply);

// Group details: only the exact reply "err" is a failure.
struct GroupDetailsReply {
    bool failed = false;     // the reply was exactly "err"
    bool hasFields = false;  // two "," at least: name and created hold the reply's values
    std::string name;        // field 2, trimmed
    std::string created;     // field 3, unchanged
};
GroupDetailsReply ReadGroupDetailsReply(std::string_view reply);

// `GroupInfo` as the service start needs it.
struct GroupInfo {
    std::string serial;  // field 1, trimmed
    std::string name;    // field 2, trimmed
};
// Service start: the reply trimmed; "err", empty text or fewer than two "," fail.
std::optional<GroupInfo> ReadServiceStartReply(std::string_view reply);

// Reserve ("precreategroup.asp"): lower-cased; "err" fails.  A reply that does not begin with
// a decimal number that fits 32 bits (empty text from an unreachable service included) fails
// too, since no device could be registered under it.
struct PrecreateReply {
    std::string serialText;  // the lower-cased reply, untrimmed
    int32_t serial = 0;
};
std::optional<PrecreateReply> ReadPrecreateReply(std::string_view reply);

// Bind ("updateonenetinfo.asp"): false only for "err" in any letter case.
bool ReadUpdateOnenetInfoReply(std::string_view reply);

enum class DeviceListStatus { kFailed, kNoDevices, kRecords };
struct DeviceListReply {
    DeviceListStatus status = DeviceListStatus::kNoDevices;
    // empty unless status is kRecords (and maybe even then); texts trimmed and cut to
    // kDeviceTextUnits UTF-16 units
    std::vector<RelayRecord> records;
};
// "err" fails, "no" (any case) has no relay; otherwise "number,iccid,imei|" records from the
// front until one is incomplete.  Empty text is an empty list, not a failure.
DeviceListReply ReadGroupDevicesReply(std::string_view reply);

}  // namespace norvex
