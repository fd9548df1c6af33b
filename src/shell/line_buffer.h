#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace norvex {

// Lines on their way from the relay engine to a slower reader (a trace writer, a monitor
// window), holding at most a fixed number.  The one producer never waits: a line that finds the
// buffer full is dropped and counted, so a reader that falls behind costs lines, never the
// relay's pace.  One producer thread and one consumer thread; Dropped() from any thread.
class LineBuffer {
public:
    explicit LineBuffer(size_t capacity);
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;

    // Producer: false when the buffer was full and the line was dropped.
    bool Push(std::string line);

    // Consumer: appends what waits to out, oldest first; returns how many lines.
    size_t PopAll(std::vector<std::string>& out);
    // Consumer: waits until a line waits or Close() was called.
    void WaitForLines();
    // Any thread: wakes the consumer for good (its loop ends when PopAll finds nothing more).
    void Close();
    bool Closed() const { return closed_.load(std::memory_order_acquire); }

    size_t Capacity() const { return capacity_; }
    uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    const size_t capacity_;
    std::unique_ptr<std::string[]> slots_;
    std::atomic<uint64_t> head_{0};  // next line the consumer takes
    std::atomic<uint64_t> tail_{0};  // next slot the producer fills
    std::atomic<uint64_t> dropped_{0};
    std::atomic<uint32_t> signal_{0};  // bumped on every push and on Close(), for waiting
    std::atomic<bool> closed_{false};
};

}  // namespace norvex
