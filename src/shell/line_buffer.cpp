#include "shell/line_buffer.h"

#include <algorithm>
#include <utility>

namespace norvex {

LineBuffer::LineBuffer(size_t capacity)
    : capacity_(std::max<size_t>(capacity, 1)), slots_(new std::string[capacity_]) {}

bool LineBuffer::Push(std::string line) {
    const uint64_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= capacity_) {
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    slots_[tail % capacity_] = std::move(line);
    tail_.store(tail + 1, std::memory_order_release);
    // costs a system call only while the consumer sleeps in WaitForLines
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_one();
    return true;
}

size_t LineBuffer::PopAll(std::vector<std::string>& out) {
    const uint64_t head = head_.load(std::memory_order_relaxed);
    const uint64_t tail = tail_.load(std::memory_order_acquire);
    for (uint64_t i = head; i < tail; ++i) {
        std::string& slot = slots_[i % capacity_];
        out.push_back(std::move(slot));
        slot = std::string();  // the producer finds an empty string, not a moved-from one
    }
    head_.store(tail, std::memory_order_release);
    return static_cast<size_t>(tail - head);
}

void LineBuffer::WaitForLines() {
    for (;;) {
        // read the signal first: a push after this load changes it, so the wait cannot miss it
        const uint32_t seen = signal_.load(std::memory_order_acquire);
        if (closed_.load(std::memory_order_acquire) ||
            tail_.load(std::memory_order_acquire) != head_.load(std::memory_order_relaxed))
            return;
        signal_.wait(seen, std::memory_order_acquire);
    }
}

void LineBuffer::Close() {
    closed_.store(true, std::memory_order_release);
    signal_.fetch_add(1, std::memory_order_release);
    signal_.notify_all();
}

}  // namespace norvex
