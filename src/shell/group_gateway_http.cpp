#include <utility>

#include "shell/group_gateway.h"
#include "shell/group_service_calls.h"

namespace norvex {
namespace {

class HttpGroupGateway final : public GroupGateway {
public:
    HttpGroupGateway(HostPort service, int startCancelFd)
        : service_(std::move(service)), startCancelFd_(startCancelFd) {}

    std::optional<std::string> FetchGroupSerial(const std::string& groupId,
                                                const std::string& password) override {
        std::optional<GroupInfo> info = FetchGroupInfo(StartClient(), groupId, password);
        if (!info) return std::nullopt;
        return info->serial;
    }

    DeviceListOutcome FetchDevices(const std::string& groupId,
                                   std::vector<RelayRecord>& out) override {
        DeviceListReply reply = FetchGroupDevices(StartClient(), groupId);
        if (reply.status == DeviceListStatus::kFailed) return DeviceListOutcome::kFailed;
        out.insert(out.end(), reply.records.begin(), reply.records.end());
        return out.empty() ? DeviceListOutcome::kNoDevices : DeviceListOutcome::kRecords;
    }

    void ReportDevice(const RelayRecord& report) override {
        norvex::ReportDevice(HttpClient(service_), report);
    }

private:
    HttpClient StartClient() const {
        HttpClient client(service_);
        client.SetCancelFd(startCancelFd_);
        return client;
    }

    HostPort service_;
    int startCancelFd_;
};

}  // namespace

std::unique_ptr<GroupGateway> MakeHttpGroupGateway(HostPort service, int startCancelFd) {
    return std::make_unique<HttpGroupGateway>(std::move(service), startCancelFd);
}

}  // namespace norvex
