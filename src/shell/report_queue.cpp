#include "shell/report_queue.h"

#include <algorithm>

namespace norvex {

ReportQueue::ReportQueue(Sender send, size_t capacity)
    : send_(std::move(send)),
      capacity_(std::max<size_t>(capacity, 1)),
      thread_([this](std::stop_token stop) { Serve(stop); }) {}

ReportQueue::~ReportQueue() {
    {
        std::lock_guard lock(mutex_);
        waiting_.clear();
    }
    thread_.request_stop();
    thread_.join();
}

void ReportQueue::Push(const RelayRecord& report) {
    {
        std::lock_guard lock(mutex_);
        auto same = std::find_if(waiting_.begin(), waiting_.end(),
                                 [&](const RelayRecord& r) { return r.devid == report.devid; });
        if (same != waiting_.end()) {
            *same = report;
        } else if (waiting_.size() >= capacity_) {
            ++dropped_;
            return;
        } else {
            waiting_.push_back(report);
        }
    }
    wake_.notify_one();
}

bool ReportQueue::WaitIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, limit, [this] { return waiting_.empty() && !inFlight_; });
}

uint64_t ReportQueue::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void ReportQueue::Serve(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!wake_.wait(lock, stop, [this] { return !waiting_.empty(); })) return;
        RelayRecord report = std::move(waiting_.front());
        waiting_.pop_front();
        inFlight_ = true;
        lock.unlock();
        send_(report);
        lock.lock();
        inFlight_ = false;
        if (waiting_.empty()) idle_.notify_all();
    }
}

}  // namespace norvex
