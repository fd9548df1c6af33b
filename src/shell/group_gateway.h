#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/engine_events.h"
#include "common/host_port.h"
#include "common/relay_record.h"

namespace norvex {

enum class DeviceListOutcome { kFailed, kNoDevices, kRecords };

// The three group web-service calls the running service makes.  Kept behind an interface so
// that the start/stop control does not depend on the HTTP client's headers.
class GroupGateway {
public:
    virtual ~GroupGateway() = default;
    // The group check: the group's serial number, or nullopt when the service rejects the ID
    // and password, cannot be reached or answers something unreadable.  Blocks.
    virtual std::optional<std::string> FetchGroupSerial(const std::string& groupId,
                                                        const std::string& password) = 0;
    // The group's relays in the service's order.  Blocks.
    virtual DeviceListOutcome FetchDevices(const std::string& groupId,
                                           std::vector<RelayRecord>& out) = 0;
    // Tells the service a relay's changed identity.  Blocks (the caller's report thread).
    virtual void ReportDevice(const RelayRecord& report) = 0;
};

// The real group web service at `service` over HTTP.  The start-up requests (group check,
// device list) end at once when startCancelFd becomes readable (-1: never); relay reports
// always run their course.
std::unique_ptr<GroupGateway> MakeHttpGroupGateway(HostPort service, int startCancelFd = -1);

}  // namespace norvex
