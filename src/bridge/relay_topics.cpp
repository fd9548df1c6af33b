#include "bridge/relay_topics.h"

#include <cstring>

#include "mqtt/mqtt_pack.h"

namespace norvex {

RelayIdentity BuildRelayIdentity(const std::string& groupId, const std::string& groupSerial,
                                 const std::string& productId) {
    RelayIdentity id;
    id.statusTopic = "/group/" + groupId + "/client/status";
    id.dataTopic = "/group/" + groupId + "/client";
    id.hostTopic = "/group/" + groupId + "/host";
    id.clientId = groupId;
    id.userName = productId;
    id.password = std::string(kDeviceLoginPrefix) + groupSerial;
    return id;
}

bool IsUsableGroupId(const std::string& groupId) {
    return !groupId.empty() && mqtt::IsClientIdText(groupId);
}

int EncodeHostPayload(uint16_t sequence, const uint8_t* data, size_t n, uint8_t* out, size_t cap) {
    if (n == 0 || n > kMaxHostData || data == nullptr || cap < n + kHostHeaderSize) return -1;
    out[0] = static_cast<uint8_t>(sequence & 0xFFu);
    out[1] = static_cast<uint8_t>(sequence >> 8);
    std::memcpy(out + kHostHeaderSize, data, n);
    return static_cast<int>(n + kHostHeaderSize);
}

}  // namespace norvex
