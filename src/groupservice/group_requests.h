#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace norvex {

// The five pages of the group web service.  Every value is escaped with EscapeQueryValue, so
// it cannot change the query; HttpClient::HttpGet then applies UrlEncodeUtf8 to the path.

// Group information, checked against the password: login, details and service start.
std::string GroupInfoPath(std::string_view groupId, std::string_view password);
// Reserves a new group; the reply is its serial number.
std::string PrecreateGroupPath(std::string_view name, std::string_view password);
// Binds the registered device id to the reserved group (serialText: the reserve reply as read).
std::string UpdateOnenetInfoPath(std::string_view serialText, std::string_view password,
                                 std::string_view deviceId);
// The group's relays.
std::string GroupDevicesPath(std::string_view groupId);
// A relay's new identity, reported while the service runs.
std::string UpdateDevicesPath(int32_t deviceNumber, std::string_view iccid, std::string_view imei);

}  // namespace norvex
