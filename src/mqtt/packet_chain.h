#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace mqtt {

// One piece of an outgoing packet.  The header sits at the start of its carving and the data
// follows it directly; carvings are rounded up to the header's alignment (a multiple of 4), so
// every header in a block is naturally aligned.
struct PacketChunk {
    uint32_t size;  // data bytes that go on the wire; may be lowered after carving
    uint8_t* data;  // right behind this header
    PacketChunk* next;
};

// The blocks a chain owns, indexed like a plain array of block pointers.  Empty (no table) until
// the first block opens; destroying or resetting it frees every block.  The first slot lives
// inline, so a packet that fits in one block costs one allocation, not two.
class BlockTable {
public:
    uint8_t* operator[](uint32_t i) const { return i == 0 ? first_.get() : more_[i - 1].get(); }
    friend bool operator==(const BlockTable& t, std::nullptr_t) { return !t.present_; }

    // Moves the first `count` blocks into a table of `capacity` slots; false when out of
    // memory, the table unchanged then.
    bool Grow(uint32_t count, uint32_t capacity);
    // Allocates a block of `size` bytes into slot i; null when out of memory.
    uint8_t* Open(uint32_t i, uint32_t size);

private:
    bool present_ = false;
    std::unique_ptr<uint8_t[]> first_;
    std::unique_ptr<std::unique_ptr<uint8_t[]>[]> more_;  // slots 1 and up
};

// An outgoing packet under assembly.  A value-initialised chain is a valid empty one; the chain
// owns its blocks, so its chunks live until ReleaseChain or the chain's end.
struct PacketChain {
    PacketChunk* head = nullptr;  // first linked chunk, null when no packet is held
    PacketChunk* tail = nullptr;  // last linked chunk
    uint32_t bytesLeft = 0;       // free bytes left in the current block
    BlockTable blockTable;        // blocks owned by the chain
    uint8_t* nextFree = nullptr;  // first free byte of the current block
    uint32_t blockCount = 0;      // entries of blockTable in use
    uint32_t blockCapacity = 0;   // entries blockTable can hold (1, 3, 7, 15, ...)
    uint32_t total = 0;           // the linked chunks' sizes summed: the length on the wire
};

inline constexpr uint32_t kPacketBlockMin = 1024;

// Carves an unlinked chunk of `size` data bytes; null when memory runs out or the carving would
// not fit in 32 bits.
PacketChunk* NewChunk(PacketChain* chain, uint32_t size);
// Links `chunk` behind the tail and adds its size to total.
void AppendChunk(PacketChain* chain, PacketChunk* chunk);
// Frees every block and the block table and zeroes the chain, which can then be reused.
void ReleaseChain(PacketChain* chain);

}  // namespace mqtt
