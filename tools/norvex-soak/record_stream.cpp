#include "record_stream.h"

#include <algorithm>

namespace norvex::soak {

namespace {

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutLe32(uint32_t v, std::vector<uint8_t>& out) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

void RecordSource::Produce(size_t count, Clock::time_point now, std::vector<uint8_t>& out) {
    if (count == 0) return;
    marks_.emplace_back(next_, now);
    for (size_t i = 0; i < count; ++i, ++next_) {
        PutLe32(next_, out);
        PutLe32(next_ * kRecordCheck, out);
    }
}

Clock::time_point RecordSource::WrittenAt(uint32_t index) const {
    auto it = std::upper_bound(marks_.begin(), marks_.end(), index,
                               [](uint32_t i, const auto& m) { return i < m.first; });
    return it == marks_.begin() ? Clock::time_point{} : std::prev(it)->second;
}

void RecordChecker::WatchFrom(Clock::time_point t) {
    watchFrom_ = t;
    freshArrival_.reset();
}

bool RecordChecker::InGap(uint32_t index) {
    for (auto g = gaps_.rbegin(); g != gaps_.rend(); ++g) {
        if (index < g->first || index > g->last) continue;
        // A late record fills its place in the gap: split it around the record.
        RecordGap tail{index + 1, g->last};
        bool hasTail = index < g->last;
        if (index == g->first) {
            if (!hasTail) {
                gaps_.erase(std::next(g).base());
                return true;
            }
            *g = tail;
        } else {
            g->last = index - 1;
            if (hasTail) gaps_.insert(g.base(), tail);
        }
        return true;
    }
    return false;
}

void RecordChecker::Accept(uint32_t index, Clock::time_point now) {
    ++records_;
    if (started_ && index <= last_) {
        bool late = InGap(index);
        ++(late ? outOfOrder_ : duplicates_);
        misplaced_.push_back({index, now, !late});
        return;
    }
    uint32_t expected = started_ ? last_ + 1 : 0;
    if (index > expected) gaps_.push_back({expected, index - 1});
    started_ = true;
    last_ = index;
    Clock::time_point written = source_.WrittenAt(index);
    latencies_.emplace_back(written,
                            std::chrono::duration<float, std::milli>(now - written).count());
    if (watchFrom_ && !freshArrival_ && written >= *watchFrom_) freshArrival_ = now;
}

void RecordChecker::Take(const uint8_t* data, size_t length, Clock::time_point now) {
    bytes_ += length;
    pending_.insert(pending_.end(), data, data + length);
    size_t at = 0;
    while (pending_.size() - at >= kRecordSize) {
        const uint8_t* p = pending_.data() + at;
        uint32_t index = Le32(p);
        if (Le32(p + 4) == index * kRecordCheck && index < source_.Next()) {
            // Loose bytes are the cut ends of records only when a loss lies right here.
            if (looseRun_ > 0 && !(started_ && index > last_ + 1) && started_) stray_ += looseRun_;
            looseRun_ = 0;
            Accept(index, now);
            at += kRecordSize;
        } else {
            ++loose_;
            ++looseRun_;
            ++at;
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(at));
}

}  // namespace norvex::soak
