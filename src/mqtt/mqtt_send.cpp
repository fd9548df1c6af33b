#include "mqtt/mqtt_send.h"

#include <cstdlib>

#include "mqtt/mqtt_errors.h"

int32_t Mqtt_SendChain(MqttSession* s, const PacketChain* chain) {
    if (chain->total == 0 || chain->head == nullptr) return 0;
    int32_t count = 0;
    for (const PacketChunk* c = chain->head; c != nullptr; c = c->next) ++count;
    auto* pairs = static_cast<MqttIoVec*>(std::malloc(sizeof(MqttIoVec) * count));
    if (pairs == nullptr) return MqttErr_NoMemory;
    int32_t i = 0;
    for (const PacketChunk* c = chain->head; c != nullptr; c = c->next) {
        pairs[i++] = MqttIoVec{c->data, c->size};
    }
    int32_t written = s->writer(s->writerArg, pairs, count);
    std::free(pairs);
    return written;
}
