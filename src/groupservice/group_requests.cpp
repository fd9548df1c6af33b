#include "groupservice/group_requests.h"

#include "groupservice/url_encode.h"

namespace norvex {

namespace {

// "page?name=value&..." with every value escaped.
std::string Query(std::string_view page,
                  std::initializer_list<std::pair<std::string_view, std::string_view>> params) {
    std::string path(page);
    char sep = '?';
    for (const auto& [name, value] : params) {
        path.push_back(sep);
        path.append(name);
        path.push_back('=');
        path.append(EscapeQueryValue(value));
        sep = '&';
    }
    return path;
}

}  // namespace

std::string GroupInfoPath(std::string_view groupId, std::string_view password) {
    return Query("/norvex/getonenetinfo.asp", {{"devid", groupId}, {"pwd", password}});
}

std::string PrecreateGroupPath(std::string_view name, std::string_view password) {
    return Query("/norvex/precreategroup.asp", {{"name", name}, {"pwd", password}});
}

std::string UpdateOnenetInfoPath(std::string_view serialText, std::string_view password,
                                 std::string_view deviceId) {
    return Query("/norvex/updateonenetinfo.asp",
                 {{"id", serialText}, {"pwd", password}, {"devid", deviceId}});
}

std::string GroupDevicesPath(std::string_view groupId) {
    return Query("/norvex/getgroupdevices.asp", {{"groupid", groupId}});
}

std::string UpdateDevicesPath(int32_t deviceNumber, std::string_view iccid, std::string_view imei) {
    const std::string number = std::to_string(deviceNumber);
    return Query("/norvex/updatedevices.asp",
                 {{"devid", number}, {"iccid", iccid}, {"imei", imei}});
}

}  // namespace norvex
