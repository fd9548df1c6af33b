#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"

namespace mqtt {

int32_t EncodeRemainingLength(uint8_t* dst, uint32_t value) {
    if (value > pack::kMaxRemainingLength) return kErrTooLong;
    return pack::PutRemainingLength(dst, value);
}

int32_t BuildPingReq(PacketChain* chain) {
    PacketChunk* chunk = NewChunk(chain, 2);
    if (chunk == nullptr) return kErrNoMemory;
    chunk->data[0] = Byte0(PacketType::PingReq);
    chunk->data[1] = 0x00;
    AppendChunk(chain, chunk);
    return 0;
}

int32_t BuildAck(PacketChain* chain, uint8_t byte0, uint16_t packetId) {
    PacketChunk* chunk = NewChunk(chain, 4);
    if (chunk == nullptr) return kErrNoMemory;
    chunk->data[0] = byte0;
    chunk->data[1] = 0x02;
    pack::PutU16(chunk->data + 2, packetId);
    AppendChunk(chain, chunk);
    return 0;
}

}  // namespace mqtt
