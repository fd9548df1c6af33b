#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "bridge/engine_events.h"

namespace norvex {

// Sends relay reports to the group web service one after the other on one thread of its own,
// so a slow service never holds up the engine and a flood of changed relays cannot start a
// flood of threads.  At most `capacity` reports wait; a newer report of a relay replaces its
// waiting one, and beyond the capacity new reports are dropped and counted.
class ReportQueue {
public:
    using Sender = std::function<void(const RelayRecord&)>;

    explicit ReportQueue(Sender send, size_t capacity = 256);
    // Drops what still waits and joins the thread after the report in flight (bounded by the
    // HTTP client's own time limit).
    ~ReportQueue();
    ReportQueue(const ReportQueue&) = delete;
    ReportQueue& operator=(const ReportQueue&) = delete;

    // Any thread; never blocks on the network.
    void Push(const RelayRecord& report);
    // Waits until nothing waits or is in flight (tests, orderly shutdown), at most `limit`.
    bool WaitIdle(std::chrono::milliseconds limit);
    uint64_t Dropped() const;

private:
    void Serve(std::stop_token stop);

    Sender send_;
    size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable idle_;
    std::deque<RelayRecord> waiting_;
    bool inFlight_ = false;
    uint64_t dropped_ = 0;
    std::jthread thread_;  // last: started when the rest is ready
};

}  // namespace norvex
