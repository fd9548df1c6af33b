// Pooled packet chains: block carving, table growth, release and the single gather write.
#include <gtest/gtest.h>

#include <cstring>

#include "wire_fixture.h"

namespace norvex::test {
namespace {

constexpr uint32_t kHeader = sizeof(mqtt::PacketChunk);
// Carvings round up to the header's alignment, which is a multiple of 4.
constexpr uint32_t kCarve = alignof(mqtt::PacketChunk) < 4 ? 4 : alignof(mqtt::PacketChunk);

uint32_t Need(uint32_t size) {
    return (kHeader + size + kCarve - 1) / kCarve * kCarve;
}

struct ChainGuard {
    mqtt::PacketChain c{};
    ~ChainGuard() { mqtt::ReleaseChain(&c); }
};

TEST(PacketChain, SmallChunksShareOneBlockAndAOneEntryTable) {
    ChainGuard g;
    mqtt::PacketChunk* a = mqtt::NewChunk(&g.c, 5);
    mqtt::PacketChunk* b = mqtt::NewChunk(&g.c, 10);
    mqtt::PacketChunk* c = mqtt::NewChunk(&g.c, 30);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(g.c.blockCount, 1u);
    EXPECT_EQ(g.c.blockCapacity, 1u);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(a), g.c.blockTable[0]);
    EXPECT_EQ(reinterpret_cast<uint8_t*>(b), reinterpret_cast<uint8_t*>(a) + Need(5));
    EXPECT_EQ(reinterpret_cast<uint8_t*>(c), reinterpret_cast<uint8_t*>(b) + Need(10));
    uint8_t* data = c->data;
    EXPECT_EQ(data, reinterpret_cast<uint8_t*>(c) + kHeader);
    EXPECT_EQ(g.c.bytesLeft, 1024u - Need(5) - Need(10) - Need(30));
    EXPECT_EQ(g.c.nextFree, reinterpret_cast<uint8_t*>(c) + Need(30));
    // carving links nothing
    EXPECT_EQ(g.c.head, nullptr);
    EXPECT_EQ(g.c.total, 0u);
    EXPECT_EQ(Need(5) % 4, 0u);
}

TEST(PacketChain, LargeChunkGetsAnExactBlockAndTheTableGrows1To3To7) {
    ChainGuard g;
    ASSERT_NE(mqtt::NewChunk(&g.c, 2000), nullptr);
    EXPECT_EQ(g.c.blockCount, 1u);
    EXPECT_EQ(g.c.blockCapacity, 1u);
    EXPECT_EQ(g.c.bytesLeft, 0u);  // a block of exactly the need
    ASSERT_NE(mqtt::NewChunk(&g.c, 1), nullptr);
    EXPECT_EQ(g.c.blockCount, 2u);
    EXPECT_EQ(g.c.blockCapacity, 3u);
    EXPECT_EQ(g.c.bytesLeft, 1024u - Need(1));
    // a chunk that does not fit in what is left abandons the rest of the block
    ASSERT_NE(mqtt::NewChunk(&g.c, 1020), nullptr);
    ASSERT_NE(mqtt::NewChunk(&g.c, 1020), nullptr);
    EXPECT_EQ(g.c.blockCount, 4u);
    EXPECT_EQ(g.c.blockCapacity, 7u);
}

// Headers hold pointers: every carving, whatever the sizes before it, starts aligned for them.
TEST(PacketChain, EveryChunkHeaderIsAligned) {
    ChainGuard g;
    for (uint32_t size : {1u, 2u, 3u, 5u, 7u, 10u, 13u, 30u, 999u, 1u, 2000u, 6u}) {
        mqtt::PacketChunk* c = mqtt::NewChunk(&g.c, size);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % alignof(mqtt::PacketChunk), 0u) << size;
        EXPECT_EQ(c->size, size);
    }
}

TEST(PacketChain, AppendLinksInOrderAndReleaseZeroesForReuse) {
    mqtt::PacketChain c{};
    for (int round = 0; round < 2; ++round) {
        mqtt::PacketChunk* a = mqtt::NewChunk(&c, 3);
        mqtt::PacketChunk* b = mqtt::NewChunk(&c, 4);
        ASSERT_TRUE(a && b);
        a->next = b;  // Append must reset a stale link
        mqtt::AppendChunk(&c, b);
        mqtt::AppendChunk(&c, a);
        EXPECT_EQ(c.head, b);
        mqtt::PacketChunk* afterB = b->next;
        mqtt::PacketChunk* afterA = a->next;
        EXPECT_EQ(afterB, a);
        EXPECT_EQ(afterA, nullptr);
        EXPECT_EQ(c.tail, a);
        EXPECT_EQ(c.total, 7u);
        mqtt::ReleaseChain(&c);
        EXPECT_TRUE(c.head == nullptr && c.tail == nullptr && c.bytesLeft == 0 &&
                    c.blockTable == nullptr && c.nextFree == nullptr && c.blockCount == 0 &&
                    c.blockCapacity == 0 && c.total == 0);
    }
}

TEST(SendChain, EmptyChainDoesNotCallTheWriter) {
    WiredSession ws;
    ChainGuard g;
    EXPECT_EQ(mqtt::SendChain(&ws.s, &g.c), 0);
    ASSERT_NE(mqtt::NewChunk(&g.c, 8), nullptr);  // carved but never linked
    EXPECT_EQ(mqtt::SendChain(&ws.s, &g.c), 0);
    EXPECT_TRUE(ws.wire.writes.empty());
}

TEST(SendChain, OneGatherCallWithOnePairPerChunkInLinkOrder) {
    WiredSession ws;
    ChainGuard g;
    for (int v : {0x11, 0x22, 0x33}) {
        mqtt::PacketChunk* ch = mqtt::NewChunk(&g.c, v == 0x22 ? 2 : 1);
        ASSERT_NE(ch, nullptr);
        std::memset(ch->data, v, ch->size);
        mqtt::AppendChunk(&g.c, ch);
    }
    EXPECT_EQ(mqtt::SendChain(&ws.s, &g.c), 4);
    ASSERT_EQ(ws.wire.pairCounts, std::vector<int32_t>{3});
    EXPECT_EQ(ws.WrittenHex(), "11 22 22 33");
    EXPECT_EQ(g.c.total, 4u);  // the chain is left as it was

    ws.wire.writerResult = -42;  // a writer failure comes back unchanged
    EXPECT_EQ(mqtt::SendChain(&ws.s, &g.c), -42);
}

// Longer than the gather list on the stack: the session's list takes over, grows once for the
// longest chain and is reused, and every byte still goes out in link order in one call.
TEST(SendChain, LongChainsSendEveryByteInOrderThroughTheSessionList) {
    WiredSession ws;
    for (uint32_t chunks : {200u, 65u, 200u, 3u}) {
        ChainGuard g;
        Bytes expected;
        for (uint32_t i = 0; i < chunks; ++i) {
            mqtt::PacketChunk* ch = mqtt::NewChunk(&g.c, 1 + i % 5);
            ASSERT_NE(ch, nullptr);
            for (uint32_t k = 0; k < ch->size; ++k) {
                ch->data[k] = static_cast<uint8_t>(i * 7 + k);
                expected.push_back(ch->data[k]);
            }
            mqtt::AppendChunk(&g.c, ch);
        }
        ws.wire.writes.clear();
        ws.wire.pairCounts.clear();
        EXPECT_EQ(mqtt::SendChain(&ws.s, &g.c), static_cast<int32_t>(expected.size()));
        ASSERT_EQ(ws.wire.pairCounts, std::vector<int32_t>{static_cast<int32_t>(chunks)});
        EXPECT_EQ(ws.wire.writes.front(), expected);
    }
    const mqtt::IoVec* list = ws.s.gatherList;
    EXPECT_GE(ws.s.gatherCapacity, 200u);
    ChainGuard g;
    for (int i = 0; i < 150; ++i) mqtt::AppendChunk(&g.c, mqtt::NewChunk(&g.c, 1));
    EXPECT_EQ(mqtt::SendChain(&ws.s, &g.c), 150);
    EXPECT_EQ(ws.s.gatherList, list);  // no new list for a shorter chain
}

TEST(Session, SetupAllocatesTheBufferAndRefusesMissingIo) {
    WiredSession ws;
    EXPECT_EQ(ws.s.bufferEnd - ws.s.bufferStart, 4096);
    EXPECT_EQ(ws.s.fillPosition, ws.s.bufferStart);
    EXPECT_EQ(ws.s.readerArg, &ws.wire);
    EXPECT_NE(ws.s.handlers.OnPublish.fn, nullptr);

    mqtt::Session bad{};
    EXPECT_EQ(mqtt::SetupSession(&bad, nullptr, nullptr, &Wire::Write, nullptr, mqtt::Handlers{}),
              mqtt::kErrBadParameter);
    EXPECT_EQ(bad.bufferStart, nullptr);
    EXPECT_EQ(mqtt::SetupSession(&bad, &Wire::Read, nullptr, nullptr, nullptr, mqtt::Handlers{}),
              mqtt::kErrBadParameter);
    EXPECT_EQ(bad.bufferStart, nullptr);
    mqtt::FreeSession(&bad);
}

}  // namespace
}  // namespace norvex::test
