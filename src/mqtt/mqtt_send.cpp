#include "mqtt/mqtt_send.h"

#include <cstdlib>

#include "mqtt/mqtt_errors.h"

namespace mqtt {

int32_t SendChain(Session* s, const PacketChain* chain) {
    if (chain->total == 0 || chain->head == nullptr) return 0;
    int32_t count = 0;
    for (const PacketChunk* c = chain->head; c != nullptr; c = c->next) ++count;
    auto* pairs = static_cast<IoVec*>(std::malloc(sizeof(IoVec) * count));
    if (pairs == nullptr) return kErrNoMemory;
    int32_t i = 0;
    for (const PacketChunk* c = chain->head; c != nullptr; c = c->next) {
        pairs[i++] = IoVec{c->data, c->size};
    }
    int32_t written = s->writer(s->writerArg, pairs, count);
    std::free(pairs);
    return written;
}

}  // namespace mqtt
