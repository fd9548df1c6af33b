// Fuzz target for the ordered-delivery queue, driven by arbitrary sender keys, numbers, sizes
// and clock steps.  Every inserted packet of four bytes or more carries a serial in its first
// four bytes, so that what reaches the port can be traced back:
//  - only packets the queue said it stored are written, each at most once, byte for byte;
//  - never more bytes are written than were stored;
//  - a Flush writes at most two packets per sender and returns how many it wrote;
//  - the table holds one record per sender.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bridge/order_queue.h"

namespace {

constexpr int kMaxSteps = 4096;
constexpr uint32_t kFirstSerial = 0x5E000000;  // well away from small numbers and lengths

struct Input {
    const uint8_t* p;
    size_t left;
    uint8_t Byte() {
        if (left == 0) return 0;
        --left;
        return *p++;
    }
    uint32_t Word(int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | Byte();
        return v;
    }
};

// A packet's bytes follow from its serial and length, so that what is written can be checked
// without keeping a copy.
void FillPacket(uint32_t serial, int count, uint8_t* out) {
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>(serial * 7u + static_cast<uint32_t>(i));
    if (count >= 4) std::memcpy(out, &serial, 4);
}

struct Sent {
    uint32_t key;
    int count;
    bool stored;
    bool written;
};

// Fixed tables rather than containers: the target runs millions of times under the sanitizers.
struct Recorder : norvex::PortWriter {
    Sent sent[kMaxSteps];  // by serial - kFirstSerial; entries up to `used` are valid
    uint32_t used = 0;
    uint32_t flushKeys[kMaxSteps];  // senders written in the current Flush, with their counts
    int flushCounts[kMaxSteps];
    int flushSenders = 0;
    uint64_t bytesStored = 0;
    uint64_t bytesWritten = 0;
    int writes = 0;
    bool failNext = false;

    void CountForSender(uint32_t key) {
        for (int i = 0; i < flushSenders; ++i) {
            if (flushKeys[i] != key) continue;
            if (++flushCounts[i] > 2) std::abort();
            return;
        }
        flushKeys[flushSenders] = key;
        flushCounts[flushSenders++] = 1;
    }

    int WriteBytes(const uint8_t* data, size_t len) override {
        if (len == 0 || len > norvex::kOrderSlotBytes) std::abort();
        if (failNext) {
            failNext = false;
            return -1;
        }
        bytesWritten += len;
        if (bytesWritten > bytesStored) std::abort();
        ++writes;
        if (len < 4) return static_cast<int>(len);  // untraceable, counted in bytes only
        uint32_t serial;
        std::memcpy(&serial, data, 4);
        uint32_t index = serial - kFirstSerial;
        if (index >= used || !sent[index].stored || sent[index].written) std::abort();
        Sent& s = sent[index];
        uint8_t expected[norvex::kOrderSlotBytes];
        FillPacket(serial, s.count, expected);
        if (static_cast<size_t>(s.count) != len || std::memcmp(expected, data, len) != 0) {
            std::abort();
        }
        s.written = true;
        CountForSender(s.key);
        return static_cast<int>(len);
    }
};

void Insert(Input& in, norvex::OrderQueue& q, Recorder& rec, uint32_t now) {
    uint8_t sel = in.Byte();
    // a few senders most of the time, so that their packets meet; any key now and then
    uint32_t key = (sel & 0x80) ? in.Word(4) : (sel & 7u);
    auto number = static_cast<uint16_t>(in.Word(2));
    int count = in.Byte() % (norvex::kOrderSlotBytes + 1);
    uint32_t serial = kFirstSerial + rec.used;
    uint8_t bytes[norvex::kOrderSlotBytes];
    FillPacket(serial, count, bytes);
    norvex::InsertResult r = q.Insert(key, number, bytes, count, now);
    bool stored = r == norvex::InsertResult::kStored || r == norvex::InsertResult::kDuplicate;
    rec.sent[rec.used++] = Sent{key, count, stored, false};
    if (stored) rec.bytesStored += static_cast<uint64_t>(count);
}

void Flush(norvex::OrderQueue& q, Recorder& rec, uint32_t now) {
    rec.flushSenders = 0;
    rec.writes = 0;
    int n = q.Flush(now, rec);
    if (n >= 0 && n != rec.writes) std::abort();
    if (n < -1 || n > 2 * static_cast<int>(q.orderTable.size())) std::abort();
}

void CheckTable(const norvex::OrderQueue& q) {
    const auto& t = q.orderTable;
    for (size_t i = 0; i < t.size(); ++i) {
        for (size_t j = i + 1; j < t.size(); ++j) {
            if (t[i].senderKey == t[j].senderKey) std::abort();
        }
        for (int32_t len : t[i].slotLength) {
            if (len < 0 || len > norvex::kOrderSlotBytes) std::abort();
        }
    }
}

Recorder recorder;  // reset for every input; too large for the stack

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    norvex::OrderQueue q;
    Recorder& rec = recorder;
    rec.used = 0;
    rec.bytesStored = rec.bytesWritten = 0;
    rec.failNext = false;
    uint32_t now = in.Word(4);
    for (int step = 0; step < kMaxSteps && in.left > 0; ++step) {
        uint8_t op = in.Byte();
        switch (op % 8) {
            case 0:
            case 1:
            case 2:
            case 3:
                Insert(in, q, rec, now);
                break;
            case 4:
            case 5:
                Flush(q, rec, now);
                break;
            case 6:  // the clock moves: mostly a little, sometimes across the lapse or a wrap
                now += (op & 0x80) ? in.Word(4) : in.Word(1) * 1000u;
                break;
            default:
                if (op & 0x80) {
                    q.Clear();
                } else {
                    rec.failNext = true;
                }
                break;
        }
    }
    CheckTable(q);
    return 0;
}
