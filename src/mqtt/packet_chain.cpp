#include "mqtt/packet_chain.h"

#include <new>
#include <utility>

#include "mqtt/mqtt_errors.h"
#include "mqtt/mqtt_send.h"

namespace mqtt {

namespace {

constexpr uint64_t kHeaderSize = sizeof(PacketChunk);
// Carvings keep every header aligned; on any ABI this is also a multiple of 4.
constexpr uint64_t kCarveAlign = alignof(PacketChunk) < 4 ? 4 : alignof(PacketChunk);
static_assert(kCarveAlign % 4 == 0 && (kCarveAlign & (kCarveAlign - 1)) == 0);
// Chunks a gather list on the stack holds: a packet is a handful, a pass's run a few dozen.
constexpr uint32_t kStackPairs = 64;

// Grows the block table to 2 x capacity + 1 entries (1, 3, 7, 15, ...); false when out of memory.
bool GrowBlockTable(PacketChain* chain) {
    uint64_t capacity = 2ull * chain->blockCapacity + 1;
    if (capacity > UINT32_MAX) return false;
    if (!chain->blockTable.Grow(chain->blockCount, static_cast<uint32_t>(capacity))) return false;
    chain->blockCapacity = static_cast<uint32_t>(capacity);
    return true;
}

// Opens a block of max(need, 1024) bytes; whatever the previous block had left is abandoned.
bool OpenBlock(PacketChain* chain, uint32_t need) {
    if (chain->blockCount == chain->blockCapacity && !GrowBlockTable(chain)) return false;
    uint32_t size = need > kPacketBlockMin ? need : kPacketBlockMin;
    uint8_t* block = chain->blockTable.Open(chain->blockCount, size);
    if (block == nullptr) return false;
    ++chain->blockCount;
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
    std::unique_ptr<IoVec[]> list(new (std::nothrow) IoVec[capacity]);
    if (list == nullptr) return nullptr;
    s->gatherStorage = std::move(list);
    s->gatherList = s->gatherStorage.get();
    s->gatherCapacity = static_cast<uint32_t>(capacity);
    return s->gatherList;
}

}  // namespace

bool BlockTable::Grow(uint32_t count, uint32_t capacity) {
    if (capacity > 1) {
        std::unique_ptr<std::unique_ptr<uint8_t[]>[]> more(
            new (std::nothrow) std::unique_ptr<uint8_t[]>[capacity - 1]);
        if (more == nullptr) return false;
        for (uint32_t i = 1; i < count; ++i) more[i - 1] = std::move(more_[i - 1]);
        more_ = std::move(more);
    }
    present_ = true;
    return true;
}

uint8_t* BlockTable::Open(uint32_t i, uint32_t size) {
    // operator new's alignment is at least a header's, so the first carving is aligned too
    std::unique_ptr<uint8_t[]>& slot = i == 0 ? first_ : more_[i - 1];
    slot.reset(new (std::nothrow) uint8_t[size]);
    return slot.get();
}

PacketChunk* NewChunk(PacketChain* chain, uint32_t size) {
    uint64_t need64 = (kHeaderSize + size + kCarveAlign - 1) & ~(kCarveAlign - 1);
    if (need64 > UINT32_MAX) return nullptr;
    auto need = static_cast<uint32_t>(need64);
    if (chain->bytesLeft < need && !OpenBlock(chain, need)) return nullptr;
    auto* chunk = new (chain->nextFree) PacketChunk{size, chain->nextFree + kHeaderSize, nullptr};
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
