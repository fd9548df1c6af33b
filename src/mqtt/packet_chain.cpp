#include "mqtt/packet_chain.h"

#include <cstdlib>
#include <cstring>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_send.h"

namespace mqtt {

namespace {

constexpr uint64_t kHeaderSize = sizeof(PacketChunk);
// Chunks a gather list on the stack holds: a packet is a handful, a pass's run a few dozen.
constexpr uint32_t kStackPairs = 64;

// Grows the block table to 2 x capacity + 1 entries (1, 3, 7, 15, ...); false when out of memory.
bool GrowBlockTable(PacketChain* chain) {
    uint64_t capacity = 2ull * chain->blockCapacity + 1;
    if (capacity > UINT32_MAX) return false;
    auto* table = static_cast<uint8_t**>(std::calloc(capacity, sizeof(uint8_t*)));
    if (table == nullptr) return false;
    if (chain->blockCount != 0) {
        std::memcpy(table, chain->blockTable, chain->blockCount * sizeof(uint8_t*));
    }
    std::free(chain->blockTable);
    chain->blockTable = table;
    chain->blockCapacity = static_cast<uint32_t>(capacity);
    return true;
}

// Opens a block of max(need, 1024) bytes; whatever the previous block had left is abandoned.
bool OpenBlock(PacketChain* chain, uint32_t need) {
    if (chain->blockCount == chain->blockCapacity && !GrowBlockTable(chain)) return false;
    uint32_t size = need > kPacketBlockMin ? need : kPacketBlockMin;
    auto* block = static_cast<uint8_t*>(std::malloc(size));
    if (block == nullptr) return false;
    chain->blockTable[chain->blockCount++] = block;
    chain->bytesLeft = size;
    chain->nextFree = block;
    return true;
}

uint32_t CountChunks(const PacketChunk* c) {
    uint32_t n = 0;
    for (; c != nullptr; c = c->next) ++n;
    return n;
}

// The session's gather list with room for `count` pairs, grown to the next power of two when it
// is too small; null when out of memory (the old list is kept then).
IoVec* SessionGatherList(Session* s, uint32_t count) {
    if (count <= s->gatherCapacity) return s->gatherList;
    uint64_t capacity = kStackPairs;
    while (capacity < count) capacity *= 2;
    auto* list = static_cast<IoVec*>(std::malloc(capacity * sizeof(IoVec)));
    if (list == nullptr) return nullptr;
    std::free(s->gatherList);
    s->gatherList = list;
    s->gatherCapacity = static_cast<uint32_t>(capacity);
    return list;
}

}  // namespace

PacketChunk* NewChunk(PacketChain* chain, uint32_t size) {
    uint64_t need64 = (kHeaderSize + size + 3u) & ~uint64_t{3};
    if (need64 > UINT32_MAX) return nullptr;
    auto need = static_cast<uint32_t>(need64);
    if (chain->bytesLeft < need && !OpenBlock(chain, need)) return nullptr;
    auto* chunk = reinterpret_cast<PacketChunk*>(chain->nextFree);
    chunk->size = size;
    chunk->data = chain->nextFree + kHeaderSize;
    chunk->next = nullptr;
    chain->nextFree += need;
    chain->bytesLeft -= need;
    return chunk;
}

void AppendChunk(PacketChain* chain, PacketChunk* chunk) {
    chunk->next = nullptr;
    if (chain->head == nullptr) {
        chain->head = chunk;
    } else {
        chain->tail->next = chunk;
    }
    chain->tail = chunk;
    chain->total += chunk->size;
}

void ReleaseChain(PacketChain* chain) {
    for (uint32_t i = 0; i < chain->blockCount; ++i) std::free(chain->blockTable[i]);
    std::free(chain->blockTable);
    *chain = PacketChain{};
}

int32_t SendChain(Session* s, const PacketChain* chain) {
    if (chain->total == 0 || chain->head == nullptr) return 0;
    IoVec local[kStackPairs];
    uint32_t count = CountChunks(chain->head);
    if (count > INT32_MAX) return kErrNoMemory;  // no gather list can say so many
    IoVec* pairs = count <= kStackPairs ? local : SessionGatherList(s, count);
    if (pairs == nullptr) return kErrNoMemory;
    uint32_t i = 0;
    for (const PacketChunk* c = chain->head; c != nullptr; c = c->next) {
        pairs[i++] = IoVec{c->data, c->size};
    }
    return s->writer(s->writerArg, pairs, static_cast<int32_t>(count));
}

}  // namespace mqtt
