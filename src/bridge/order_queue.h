#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace norvex {

// Puts each relay's numbered packets back in order before they reach the serial port, within a
// window of four held packets per sender and a lapse of 180000 ms.  Engine thread only.

inline constexpr int kOrderSlots = 4;
inline constexpr int kOrderSlotBytes = 64;
// An expectation older than this (no write for the sender while packets wait) is given up.
inline constexpr uint32_t kOrderLapseMs = 180000;

// Reorder state of one sender.
struct SenderOrder {
    uint32_t senderKey = 0;
    uint16_t expectedNumber = 0;    // due next; 0: nothing expected, the earliest held is due
    uint32_t lastActivityTick = 0;  // ms: last write, or last flush that found every slot free
    uint16_t slotNumber[kOrderSlots] = {};
    uint8_t slotData[kOrderSlots][kOrderSlotBytes] = {};
    int32_t slotLength[kOrderSlots] = {};  // 0: slot free
    uint32_t slotTick[kOrderSlots] = {};   // ms: when each slot's packet was stored
};

// Where flushed packets go: the serial port in the service, a recorder in tests.  Returns the
// count written, or a negative value when the port failed.
class PortWriter {
public:
    virtual ~PortWriter() = default;
    virtual int WriteBytes(const uint8_t* data, size_t len) = 0;
};

// Signed distance from b to a on the 16-bit circle; negative when a comes before b.  Numbers
// exactly 0x8000 apart give -0x8000 when a is the greater, +0x8000 otherwise.
int32_t SeqDistance(uint16_t a, uint16_t b);

// What became of one inserted packet.
enum class InsertResult {
    kStored,     // held for delivery
    kDuplicate,  // its number was already held: the new copy replaced the old one
    kLate,       // older than the next one due: dropped
    kNoSlot,     // every slot held a later packet: dropped
};

struct OrderQueue {
    std::vector<SenderOrder> orderTable;  // one record per sender, in order of first arrival
    uint32_t lateCount = 0;               // late packets (any sender) since the last packet stored
    // > 0: a packet held this long (ms) behind a missing one ends the wait for it.
    uint32_t reorderWaitMs = 0;
    // Packet numbers skipped because they never came, since the last TakeGivenUp().
    uint64_t givenUp = 0;

    // Stores or drops one packet of `count` (0..64) bytes; `now` in ms.
    InsertResult Insert(uint32_t senderKey, uint16_t number, const uint8_t* data, int count,
                        uint32_t now);
    // Writes the packets that are due, at most two per sender.  Returns how many writes were
    // made, or -1 as soon as the port fails (the run must end then).
    int Flush(uint32_t now, PortWriter& port);
    // True when the sender's four slots are all taken: its next packet could find no room.
    bool SlotsFull(uint32_t senderKey) const;
    // The count of numbers given up since the last call; resets it.
    uint64_t TakeGivenUp() { return std::exchange(givenUp, 0); }
    // Empties the table and the late counter, as at the start of a run.
    void Clear();
    // ms until a held packet becomes due by the lapse or the reorder wait alone (UINT32_MAX:
    // none waits for one),
    // so that the caller can sleep until then instead of looking on a fixed beat.
    uint32_t NextLapseIn(uint32_t now) const;
};

}  // namespace norvex
