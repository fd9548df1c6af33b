#include <cctype>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"
#include "mqtt/utf8_check.h"

using namespace mqtt_pack;

namespace {

constexpr uint8_t kConnectFlags = 0xC2;  // user name, password, clean session; no will
constexpr uint16_t kKeepAliveSeconds = 120;

// Length of a client identifier made only of ASCII letters and digits, or MqttErr_BadParameter:
// the platform derives identifiers from device ids and never uses anything else.
int32_t ClientIdLength(const char* clientId) {
    if (clientId == nullptr) return MqttErr_BadParameter;
    int32_t n = TextLength(clientId);
    if (n < 0) return MqttErr_BadParameter;
    for (int32_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(clientId[i]);
        bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum) return MqttErr_BadParameter;
    }
    return n;
}

void FillVariableHeader(uint8_t* p) {
    p = PutText(p, "MQTT", 4);
    *p++ = 0x04;  // protocol level 4: MQTT 3.1.1
    *p++ = kConnectFlags;
    PutU16(p, kKeepAliveSeconds);
}

}  // namespace

int32_t Mqtt_BuildConnect(PacketChain* chain, const char* clientId, const char* userName,
                          const uint8_t* password, uint16_t passwordLength) {
    PacketChunk* fixed = CarveFixedHeader(chain);
    PacketChunk* variable = fixed ? PacketChain_NewChunk(chain, 10) : nullptr;
    if (variable == nullptr) return MqttErr_NoMemory;
    int32_t idLength = ClientIdLength(clientId);
    if (idLength < 0) return idLength;
    if (userName == nullptr || password == nullptr) return MqttErr_BadParameter;
    int32_t userLength = TextLength(userName);
    if (userLength < 0) return MqttErr_BadParameter;
    if (Utf8_CheckedLength(userName, userLength) != userLength) return MqttErr_NotUtf8;

    uint32_t payloadSize = 6u + idLength + userLength + passwordLength;
    PacketChunk* payload = PacketChain_NewChunk(chain, payloadSize);
    if (payload == nullptr) return MqttErr_NoMemory;
    int32_t r = FillFixedHeader(fixed, 0x10, 10u + payloadSize);
    if (r < 0) return r;

    FillVariableHeader(variable->data);
    uint8_t* p = PutText(payload->data, clientId, static_cast<uint32_t>(idLength));
    p = PutText(p, userName, static_cast<uint32_t>(userLength));
    PutBytes(PutU16(p, passwordLength), password, passwordLength);
    PacketChain_Append(chain, fixed);
    PacketChain_Append(chain, variable);
    PacketChain_Append(chain, payload);
    return 0;
}
