#include "relay_payload.h"

#include <cstdio>

namespace relaysim {

bool ParseHostPayload(const uint8_t* payload, size_t len, HostData& out) {
    if (payload == nullptr || len < 2) return false;
    out.sequence = static_cast<uint16_t>(payload[0] | (payload[1] << 8));
    out.bytes.assign(payload + 2, payload + len);
    return true;
}

std::string FormatClientPayload(uint32_t senderKey, uint16_t packetNumber, const uint8_t* data,
                                size_t len, bool lowerCase) {
    char header[16];
    std::snprintf(header, sizeof header, lowerCase ? "%08x,%04x," : "%08X,%04X,", senderKey,
                  static_cast<unsigned>(packetNumber));
    const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string out(header);
    out.reserve(14 + 2 * len);
    for (size_t i = 0; i < len; ++i) {
        out.push_back(digits[data[i] >> 4]);
        out.push_back(digits[data[i] & 0x0F]);
    }
    return out;
}

std::string FormatPingAck(int devid) {
    return "pingack:" + std::to_string(devid);
}

std::string FormatBaseInfo(int devid, const std::string& text, int value1, int value2,
                           const std::string& iccid, const std::string& imei) {
    return "baseinfo:" + std::to_string(devid) + "," + text + "," + std::to_string(value1) + "," +
           std::to_string(value2) + "," + iccid + "," + imei + ",";
}

}  // namespace relaysim
