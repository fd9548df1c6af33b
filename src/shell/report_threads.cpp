#include "shell/report_threads.h"

namespace norvex {

ReportThreads::ReportThreads(Sender send, std::chrono::milliseconds shutdownGrace)
    : send_(std::make_shared<const Sender>(std::move(send))), grace_(shutdownGrace) {}

ReportThreads::~ReportThreads() {
    std::lock_guard lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + grace_;
    for (Report& r : reports_) {
        while (!r.done->load(std::memory_order_acquire) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // A report still waiting for an unreachable service holds only its own copies.
        if (r.done->load(std::memory_order_acquire)) {
            r.thread.join();
        } else {
            r.thread.detach();
        }
    }
}

void ReportThreads::Start(const DeviceReport& report) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([send = send_, report, done] {
        (*send)(report);
        done->store(true, std::memory_order_release);
    });
    std::lock_guard lock(mutex_);
    JoinFinished();
    reports_.push_back({std::move(t), std::move(done)});
}

size_t ReportThreads::Pending() {
    std::lock_guard lock(mutex_);
    JoinFinished();
    return reports_.size();
}

void ReportThreads::JoinFinished() {
    for (auto it = reports_.begin(); it != reports_.end();) {
        if (it->done->load(std::memory_order_acquire)) {
            it->thread.join();
            it = reports_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace norvex
