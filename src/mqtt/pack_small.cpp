#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_pack.h"
#include "mqtt/pack_util.h"

int32_t Mqtt_BuildPingReq(PacketChain* chain) {
    PacketChunk* chunk = PacketChain_NewChunk(chain, 2);
    if (chunk == nullptr) return MqttErr_NoMemory;
    chunk->data[0] = 0xC0;
    chunk->data[1] = 0x00;
    PacketChain_Append(chain, chunk);
    return 0;
}

int32_t Mqtt_BuildAck(PacketChain* chain, uint8_t byte0, uint16_t packetId) {
    PacketChunk* chunk = PacketChain_NewChunk(chain, 4);
    if (chunk == nullptr) return MqttErr_NoMemory;
    chunk->data[0] = byte0;
    chunk->data[1] = 0x02;
    mqtt_pack::PutU16(chunk->data + 2, packetId);
    PacketChain_Append(chain, chunk);
    return 0;
}
