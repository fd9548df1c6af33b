#include "bridge/order_queue.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/deadline.h"

namespace norvex {

namespace {

void StoreSlot(SenderOrder& rec, int slot, uint16_t number, const uint8_t* data, int count,
               uint32_t now) {
    count = std::clamp(count, 0, kOrderSlotBytes);
    rec.slotNumber[slot] = number;
    rec.slotTick[slot] = now;
    if (count > 0) std::memcpy(rec.slotData[slot], data, static_cast<size_t>(count));
    rec.slotLength[slot] = count;
}

SenderOrder* FindSender(OrderQueue& q, uint32_t key) {
    for (auto& rec : q.orderTable) {
        if (rec.senderKey == key) return &rec;
    }
    return nullptr;
}

int ChooseSlot(const SenderOrder& rec, uint16_t number) {
    for (int i = 0; i < kOrderSlots; ++i) {
        if (rec.slotNumber[i] == number) return i;  // a repeat replaces the held copy
    }
    for (int i = 0; i < kOrderSlots; ++i) {
        if (rec.slotLength[i] == 0) return i;
    }
    return -1;
}

void ResetSender(OrderQueue& q, SenderOrder& rec, const uint8_t* data, int count, uint32_t now) {
    q.lateCount = 0;
    for (int32_t& len : rec.slotLength) len = 0;
    rec.expectedNumber = 0;
    StoreSlot(rec, 0, 0, data, count, now);
    rec.lastActivityTick = now;
}

int TakenWithNumber(const SenderOrder& rec, uint16_t number) {
    for (int i = 0; i < kOrderSlots; ++i) {
        if (rec.slotLength[i] != 0 && rec.slotNumber[i] == number) return i;
    }
    return -1;
}

bool AllFree(const SenderOrder& rec) {
    return std::all_of(std::begin(rec.slotLength), std::end(rec.slotLength),
                       [](int32_t len) { return len == 0; });
}

bool AllTaken(const SenderOrder& rec) {
    return std::all_of(std::begin(rec.slotLength), std::end(rec.slotLength),
                       [](int32_t len) { return len != 0; });
}

int EarliestTaken(const SenderOrder& rec) {
    int pick = -1;
    for (int i = 0; i < kOrderSlots; ++i) {
        if (rec.slotLength[i] == 0) continue;
        if (pick < 0 || SeqDistance(rec.slotNumber[i], rec.slotNumber[pick]) < 0) pick = i;
    }
    return pick;
}

// Since when the longest-held packet of a sender has waited (ms); the sender holds one.
uint32_t OldestHeldTick(const SenderOrder& rec, uint32_t now) {
    uint32_t oldest = now;
    for (int i = 0; i < kOrderSlots; ++i) {
        if (rec.slotLength[i] != 0 && now - rec.slotTick[i] > now - oldest)
            oldest = rec.slotTick[i];
    }
    return oldest;
}

// A packet has waited reorderWaitMs behind the one expected: the wait for that one ends.
bool WaitEnded(const SenderOrder& rec, uint32_t waitMs, uint32_t now) {
    if (waitMs == 0 || rec.expectedNumber == 0 || AllFree(rec)) return false;
    if (TakenWithNumber(rec, rec.expectedNumber) >= 0) return false;
    return now - OldestHeldTick(rec, now) >= waitMs;
}

// Writing past the expected number gives up every number in between.  Only the reorder wait's
// give-ups are counted: the full-slots and lapse rules are the default delivery's, whose stats
// line stays as it always was.
void CountGivenUp(OrderQueue& q, const SenderOrder& rec, int slot) {
    int32_t skipped = SeqDistance(rec.slotNumber[slot], rec.expectedNumber);
    if (rec.expectedNumber != 0 && skipped > 0) q.givenUp += static_cast<uint64_t>(skipped);
}

bool WriteSlot(SenderOrder& rec, int slot, uint32_t now, PortWriter& port) {
    int len = rec.slotLength[slot];
    if (port.WriteBytes(rec.slotData[slot], static_cast<size_t>(len)) != len) return false;
    rec.slotLength[slot] = 0;
    rec.lastActivityTick = now;
    rec.expectedNumber = static_cast<uint16_t>(rec.slotNumber[slot] + 1u);
    return true;
}

}  // namespace

int32_t SeqDistance(uint16_t a, uint16_t b) {
    if (a > b) {
        int32_t n = a - b;
        return n < 0x8000 ? n : n - 0x10000;
    }
    int32_t n = b - a;
    return n < 0x8000 ? -n : 0x10000 - n;
}

InsertResult OrderQueue::Insert(uint32_t senderKey, uint16_t number, const uint8_t* data, int count,
                                uint32_t now) {
    OrderQueue& q = *this;
    SenderOrder* rec = FindSender(q, senderKey);
    if (rec == nullptr) {
        SenderOrder fresh;
        fresh.senderKey = senderKey;
        fresh.lastActivityTick = now;
        StoreSlot(fresh, 0, number, data, count, now);
        q.orderTable.push_back(fresh);
        return InsertResult::kStored;
    }
    if (number == 0 || q.lateCount > 2) {
        ResetSender(q, *rec, data, count, now);
        return InsertResult::kStored;
    }
    if (SeqDistance(number, rec->expectedNumber) < 0) {
        ++q.lateCount;
        return InsertResult::kLate;
    }
    int slot = ChooseSlot(*rec, number);
    q.lateCount = 0;
    if (slot < 0) return InsertResult::kNoSlot;
    bool repeat = rec->slotLength[slot] != 0;
    StoreSlot(*rec, slot, number, data, count, now);
    return repeat ? InsertResult::kDuplicate : InsertResult::kStored;
}

int OrderQueue::Flush(uint32_t now, PortWriter& port) {
    OrderQueue& q = *this;
    int writes = 0;
    for (auto& rec : q.orderTable) {
        if (AllFree(rec)) rec.lastActivityTick = now;
        if (now - rec.lastActivityTick > kOrderLapseMs) rec.expectedNumber = 0;
        bool waitEnded = WaitEnded(rec, reorderWaitMs, now);
        if (rec.expectedNumber == 0 || AllTaken(rec) || waitEnded) {
            int pick = EarliestTaken(rec);
            if (pick >= 0) {
                if (waitEnded && !AllTaken(rec)) CountGivenUp(q, rec, pick);
                if (!WriteSlot(rec, pick, now, port)) return -1;
                ++writes;
            }
        }
        int due = TakenWithNumber(rec, rec.expectedNumber);
        if (due >= 0) {
            if (!WriteSlot(rec, due, now, port)) return -1;
            ++writes;
        }
    }
    return writes;
}

uint32_t OrderQueue::NextLapseIn(uint32_t now) const {
    uint32_t next = UINT32_MAX;
    for (const auto& rec : orderTable) {
        if (rec.expectedNumber == 0 || AllFree(rec) || AllTaken(rec)) continue;
        // the lapse is due once the idle time has passed it
        next = std::min(next, TickMsLeft(now, rec.lastActivityTick, kOrderLapseMs + 1));
        if (reorderWaitMs > 0)
            next = std::min(next, TickMsLeft(now, OldestHeldTick(rec, now), reorderWaitMs));
    }
    return next;
}

bool OrderQueue::SlotsFull(uint32_t senderKey) const {
    for (const auto& rec : orderTable) {
        if (rec.senderKey == senderKey) return AllTaken(rec);
    }
    return false;
}

void OrderQueue::Clear() {
    std::vector<SenderOrder>().swap(orderTable);
    lateCount = 0;
}

}  // namespace norvex
