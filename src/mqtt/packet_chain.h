#pragma once
#include <cstdint>

namespace mqtt {

// One piece of an outgoing packet.  The header sits at the start of its carving and the data
// follows it directly; carvings are rounded up to 4 bytes, so the header is packed to 4-byte
// alignment (pointers inside it are read through the compiler's packed access: copy the
// fields out, never bind a reference or pointer to them).
#pragma pack(push, 4)
struct PacketChunk {
    uint32_t size;  // data bytes that go on the wire; may be lowered after carving
    uint8_t* data;  // right behind this header
    PacketChunk* next;
};
#pragma pack(pop)

// An outgoing packet under assembly.  All fields zero is a valid empty chain.
struct PacketChain {
    PacketChunk* head;       // first linked chunk, null when no packet is held
    PacketChunk* tail;       // last linked chunk
    uint32_t bytesLeft;      // free bytes left in the current block
    uint8_t** blockTable;    // blocks owned by the chain
    uint8_t* nextFree;       // first free byte of the current block
    uint32_t blockCount;     // entries of blockTable in use
    uint32_t blockCapacity;  // entries blockTable can hold (1, 3, 7, 15, ...)
    uint32_t total;          // sum of the linked chunks' sizes: the packet's length on the wire
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
