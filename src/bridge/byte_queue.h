#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace norvex {

// Bytes that could not be written at once and wait for the descriptor to take them, up to a
// fixed limit.  The front stays contiguous, so the next write takes it as it is.  Header only:
// the transport classes that hold one are also built on their own.
class ByteQueue {
public:
    explicit ByteQueue(size_t limit) : limit_(limit) {}

    size_t Size() const { return bytes_.size() - head_; }
    bool Empty() const { return Size() == 0; }
    size_t Room() const { return limit_ - Size(); }
    const uint8_t* Front() const { return bytes_.data() + head_; }

    // Appends min(len, Room()) bytes; how many were kept.
    size_t Append(const uint8_t* src, size_t len) {
        size_t keep = std::min(len, Room());
        // what went out is given back before the vector grows
        if (head_ > 0 && head_ >= bytes_.size() / 2) {
            bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
            head_ = 0;
        }
        bytes_.insert(bytes_.end(), src, src + keep);
        return keep;
    }
    // Forgets the first n bytes: they went out.
    void Drop(size_t n) {
        head_ += std::min(n, Size());
        if (head_ == bytes_.size()) Clear();
    }
    void Clear() {
        bytes_.clear();
        head_ = 0;
    }

private:
    size_t limit_;
    std::vector<uint8_t> bytes_;
    size_t head_ = 0;  // bytes_[0, head_) went out already
};

}  // namespace norvex
