#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bridge/device_table.h"

namespace norvex {

// Runs each relay report on a thread of its own, so a slow group service never holds up the
// relay loop.  Each thread gets its own copy of the report.  Finished threads are joined as
// new ones start; the destructor waits a bounded while for the rest and then lets them finish
// on their own (each request is bounded by the HTTP client's own time limit).
class ReportThreads {
public:
    using Sender = std::function<void(const DeviceReport&)>;

    explicit ReportThreads(Sender send,
                           std::chrono::milliseconds shutdownGrace = std::chrono::milliseconds(1000));
    ~ReportThreads();
    ReportThreads(const ReportThreads&) = delete;
    ReportThreads& operator=(const ReportThreads&) = delete;

    // Callable from any thread (the worker starts them).
    void Start(const DeviceReport& report);
    // As a DeviceReporter for NoteBaseInfo.
    DeviceReporter Reporter() {
        return [this](const DeviceReport& r) { Start(r); };
    }

    // Threads started and not yet joined.
    size_t Pending();

private:
    struct Report {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void JoinFinished();  // with mutex_ held

    std::shared_ptr<const Sender> send_;
    std::chrono::milliseconds grace_;
    std::mutex mutex_;
    std::vector<Report> reports_;
};

}  // namespace norvex
