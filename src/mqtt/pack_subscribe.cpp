#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"
#include "mqtt/utf8_check.h"

namespace mqtt {

using namespace pack;

namespace {

// MQTT 3.1.1 requires flag bits 0010 on SUBSCRIBE; a broker closes the connection on 0x80.
constexpr uint8_t kSubscribeByte0 = Byte0(PacketType::Subscribe, 0x02);
constexpr uint16_t kSubscribeId = 1;
constexpr uint8_t kRequestedQos = 2;

// Length of a filter, or the code that refuses it.  Wildcards are allowed in filters.
int32_t FilterLength(const char* filter) {
    if (filter == nullptr) return kErrBadParameter;
    int32_t n = TextLength(filter);
    if (n < 0) return n;
    return Utf8CheckedLength(filter, n) == n ? n : kErrNotUtf8;
}

}  // namespace

int32_t BuildSubscribe(PacketChain* chain, const char* const filters[2]) {
    if (filters == nullptr) return kErrBadParameter;
    int32_t lengths[2];
    for (int i = 0; i < 2; ++i) {
        lengths[i] = FilterLength(filters[i]);
        if (lengths[i] < 0) return lengths[i];
    }
    uint32_t bodySize = 8u + lengths[0] + lengths[1];
    PacketChunk* fixed = CarveFixedHeader(chain);
    PacketChunk* body = fixed ? NewChunk(chain, bodySize) : nullptr;
    if (body == nullptr) return kErrNoMemory;
    int32_t r = FillFixedHeader(fixed, kSubscribeByte0, bodySize);
    if (r < 0) return r;

    uint8_t* p = PutU16(body->data, kSubscribeId);
    for (int i = 0; i < 2; ++i) {
        p = PutText(p, filters[i], static_cast<uint32_t>(lengths[i]));
        *p++ = kRequestedQos;
    }
    AppendChunk(chain, fixed);
    AppendChunk(chain, body);
    return 0;
}

}  // namespace mqtt
