#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace norvex::soak {

using Clock = std::chrono::steady_clock;

// The soak's payload: 8-byte records, record i being i as 32-bit little-endian followed by
// i * kRecordCheck, so that any 8 bytes that are not a whole record, and every record lost,
// repeated or moved, show on the receiving side.
inline constexpr size_t kRecordSize = 8;
inline constexpr uint32_t kRecordCheck = 0x9E3779B1u;

// The sending side of one direction: numbers records and remembers when each was written.
class RecordSource {
public:
    // Appends the next count records to out, written at now.
    void Produce(size_t count, Clock::time_point now, std::vector<uint8_t>& out);
    uint32_t Next() const { return next_; }
    uint64_t BytesWritten() const { return uint64_t{next_} * kRecordSize; }
    // When record index was written; index must be below Next().
    Clock::time_point WrittenAt(uint32_t index) const;

private:
    uint32_t next_ = 0;
    std::vector<std::pair<uint32_t, Clock::time_point>> marks_;  // first record of each write
};

// Records never delivered, first to last inclusive.
struct RecordGap {
    uint32_t first = 0;
    uint32_t last = 0;
};

// The receiving side: finds the records in the byte stream and checks their order.
class RecordChecker {
public:
    explicit RecordChecker(const RecordSource& source) : source_(source) {}

    void Take(const uint8_t* data, size_t length, Clock::time_point now);
    // From now on, remembers when the first record written at or after t arrives.
    void WatchFrom(Clock::time_point t);
    std::optional<Clock::time_point> FreshArrival() const { return freshArrival_; }

    uint64_t BytesDelivered() const { return bytes_; }
    uint64_t RecordsDelivered() const { return records_; }
    uint64_t Duplicates() const { return duplicates_; }
    uint64_t OutOfOrder() const { return outOfOrder_; }
    // Bytes that belong to no whole record: the cut ends of records around a loss.
    uint64_t LooseBytes() const { return loose_; }
    // Loose bytes not next to a loss: corruption.
    uint64_t StrayBytes() const { return stray_; }
    const std::vector<RecordGap>& Gaps() const { return gaps_; }
    // (write time, latency in ms) of every record delivered in order.
    const std::vector<std::pair<Clock::time_point, float>>& Latencies() const { return latencies_; }
    // Records that came twice or after a later one: (index, arrival, true when twice).
    struct Misplaced {
        uint32_t index;
        Clock::time_point at;
        bool duplicate;
    };
    const std::vector<Misplaced>& MisplacedRecords() const { return misplaced_; }
    bool Started() const { return started_; }
    uint32_t LastIndex() const { return last_; }

private:
    void Accept(uint32_t index, Clock::time_point now);
    bool InGap(uint32_t index);

    const RecordSource& source_;
    std::vector<uint8_t> pending_;
    bool started_ = false;
    uint32_t last_ = 0;
    uint64_t bytes_ = 0, records_ = 0, duplicates_ = 0, outOfOrder_ = 0, loose_ = 0, stray_ = 0;
    uint64_t looseRun_ = 0;  // loose bytes since the last whole record
    std::vector<RecordGap> gaps_;
    std::vector<Misplaced> misplaced_;
    std::vector<std::pair<Clock::time_point, float>> latencies_;
    std::optional<Clock::time_point> watchFrom_;
    std::optional<Clock::time_point> freshArrival_;
};

}  // namespace norvex::soak
