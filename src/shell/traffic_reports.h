#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bridge/engine_counters.h"
#include "shell/metrics_text.h"

namespace norvex {

// Where the reports read the traffic from: the engine's counters and its relays.
struct TrafficSources {
    std::function<CounterSnapshot()> counters;
    std::function<std::vector<RelayMetric>()> relays;
    std::string groupId;
};

// norvexd's periodic reports: the "stats:" line every statsInterval (none when zero) and the
// metrics file every kMetricsPeriod (none when the path is empty).  The caller's loop calls
// OnTick() often (every 50 ms); the first tick writes the metrics at once.  One thread.
class TrafficReports {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kMetricsPeriod{2};

    TrafficReports(TrafficSources sources, std::chrono::seconds statsInterval,
                   std::string metricsFile, std::function<void(const std::string&)> printLine);

    void OnTick(Clock::time_point now);
    // The stats line now (SIGUSR1, exit).
    void PrintStats();
    // The metrics file now; false when it could not be written (said once on the print line).
    bool WriteMetrics();

private:
    TrafficSources sources_;
    std::chrono::seconds statsInterval_;
    std::string metricsFile_;
    std::function<void(const std::string&)> printLine_;
    Clock::time_point nextStats_{};
    Clock::time_point nextMetrics_{};
    bool started_ = false;
    bool metricsFailing_ = false;
};

int64_t UnixNowMs();

}  // namespace norvex
