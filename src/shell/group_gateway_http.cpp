#include "groupservice/endpoints.h"
#include "shell/group_gateway.h"
#include "shell/group_service_calls.h"

namespace norvex {
namespace {

class HttpGroupGateway final : public GroupGateway {
public:
    HttpGroupGateway() : service_(GroupServiceFromEnvironment()) {}

    std::optional<std::string> FetchGroupSerial(const std::string& groupId,
                                                const std::string& password) override {
        std::optional<GroupInfo> info = FetchGroupInfo(HttpClient(service_), groupId, password);
        if (!info) return std::nullopt;
        return info->serial;
    }

    DeviceListOutcome FetchDevices(const std::string& groupId,
                                   std::vector<StartDevice>& out) override {
        DeviceListReply reply = FetchGroupDevices(HttpClient(service_), groupId);
        if (reply.status == DeviceListStatus::kFailed) return DeviceListOutcome::kFailed;
        for (const RelayRecord& r : reply.records) out.push_back({r.deviceNumber, r.iccid, r.imei});
        return out.empty() ? DeviceListOutcome::kNoDevices : DeviceListOutcome::kRecords;
    }

    void ReportDevice(const DeviceReport& report) override {
        norvex::ReportDevice(HttpClient(service_), report);
    }

private:
    HostPort service_;
};

}  // namespace

std::unique_ptr<GroupGateway> MakeHttpGroupGateway() {
    return std::make_unique<HttpGroupGateway>();
}

}  // namespace norvex
