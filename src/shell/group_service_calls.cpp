#include "shell/group_service_calls.h"

#include "groupservice/group_requests.h"

namespace norvex {

std::optional<GroupInfo> FetchGroupInfo(const HttpClient& client, std::string_view groupId,
                                        std::string_view password) {
    return ReadServiceStartReply(client.HttpGet(GroupInfoPath(groupId, password)));
}

DeviceListReply FetchGroupDevices(const HttpClient& client, std::string_view groupId) {
    return ReadGroupDevicesReply(client.HttpGet(GroupDevicesPath(groupId)));
}

void ReportDevice(const HttpClient& client, const RelayRecord& report) {
    (void)client.HttpGet(UpdateDevicesPath(report.devid, report.iccid, report.imei));
}

}  // namespace norvex
