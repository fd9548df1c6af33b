#pragma once
#include <optional>
#include <string_view>

#include "bridge/engine_events.h"
#include "groupservice/group_replies.h"
#include "groupservice/http_client.h"

namespace norvex {

// The group check before every start: the group's information, read as the service start
// reads it (trimmed; "err", empty text or fewer than two "," fail).  Blocks until the request
// ends.
std::optional<GroupInfo> FetchGroupInfo(const HttpClient& client, std::string_view groupId,
                                        std::string_view password);

// The group's relays, in the order the service lists them.
DeviceListReply FetchGroupDevices(const HttpClient& client, std::string_view groupId);

// Tells the group service a relay's new identity.  The reply carries nothing we use.
void ReportDevice(const HttpClient& client, const RelayRecord& report);

}  // namespace norvex
