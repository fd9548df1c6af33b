#include <cctype>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"
#include "mqtt/utf8_check.h"

namespace mqtt {

using namespace pack;

namespace {

constexpr uint8_t kConnectFlags = 0xC2;  // user name, password, clean session; no will
constexpr uint16_t kKeepAliveSeconds = 120;

// Length of a client identifier that passes IsClientIdText, or kErrBadParameter.
int32_t ClientIdLength(const char* clientId) {
    if (clientId == nullptr) return kErrBadParameter;
    int32_t n = TextLength(clientId);
    if (n < 0) return n;
    return IsClientIdText({clientId, static_cast<size_t>(n)}) ? n : kErrBadParameter;
}

void FillVariableHeader(uint8_t* p) {
    p = PutText(p, "MQTT", 4);
    *p++ = 0x04;  // protocol level 4: MQTT 3.1.1
    *p++ = kConnectFlags;
    PutU16(p, kKeepAliveSeconds);
}

}  // namespace

bool IsClientIdText(std::string_view clientId) {
    for (unsigned char c : clientId) {
        bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum) return false;
    }
    return true;
}

int32_t BuildConnect(PacketChain* chain, const char* clientId, const char* userName,
                     const uint8_t* password, uint16_t passwordLength) {
    PacketChunk* fixed = CarveFixedHeader(chain);
    PacketChunk* variable = fixed ? NewChunk(chain, 10) : nullptr;
    if (variable == nullptr) return kErrNoMemory;
    int32_t idLength = ClientIdLength(clientId);
    if (idLength < 0) return idLength;
    if (userName == nullptr || password == nullptr) return kErrBadParameter;
    int32_t userLength = TextLength(userName);
    if (userLength < 0) return userLength;
    if (Utf8CheckedLength(userName, userLength) != userLength) return kErrNotUtf8;

    uint32_t payloadSize = 6u + idLength + userLength + passwordLength;
    PacketChunk* payload = NewChunk(chain, payloadSize);
    if (payload == nullptr) return kErrNoMemory;
    int32_t r = FillFixedHeader(fixed, Byte0(PacketType::Connect), 10u + payloadSize);
    if (r < 0) return r;

    FillVariableHeader(variable->data);
    uint8_t* p = PutText(payload->data, clientId, static_cast<uint32_t>(idLength));
    p = PutText(p, userName, static_cast<uint32_t>(userLength));
    PutBytes(PutU16(p, passwordLength), password, passwordLength);
    AppendChunk(chain, fixed);
    AppendChunk(chain, variable);
    AppendChunk(chain, payload);
    return 0;
}

}  // namespace mqtt
