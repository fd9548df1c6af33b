#include "shell/traffic_reports.h"

#include <utility>

#include "shell/atomic_file.h"
#include "shell/stats_line.h"

namespace norvex {

int64_t UnixNowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

TrafficReports::TrafficReports(TrafficSources sources, std::chrono::seconds statsInterval,
                               std::string metricsFile,
                               std::function<void(const std::string&)> printLine)
    : sources_(std::move(sources)),
      statsInterval_(statsInterval),
      metricsFile_(std::move(metricsFile)),
      printLine_(std::move(printLine)) {}

void TrafficReports::OnTick(Clock::time_point now) {
    if (!started_) {
        started_ = true;
        nextStats_ = now + statsInterval_;
        nextMetrics_ = now;
    }
    if (statsInterval_.count() > 0 && now >= nextStats_) {
        PrintStats();
        // a stalled loop does not make up for lost lines with a burst of them
        while (nextStats_ <= now) nextStats_ += statsInterval_;
    }
    if (!metricsFile_.empty() && now >= nextMetrics_) {
        WriteMetrics();
        while (nextMetrics_ <= now) nextMetrics_ += kMetricsPeriod;
    }
}

void TrafficReports::PrintStats() {
    printLine_(FormatStatsLine(sources_.counters(), UnixNowMs()));
}

bool TrafficReports::WriteMetrics() {
    MetricsInput in;
    in.counters = sources_.counters();
    in.nowUnixMs = UnixNowMs();
    in.groupId = sources_.groupId;
    if (sources_.relays) in.relays = sources_.relays();
    std::string error;
    bool ok = ReplaceFileAtomically(metricsFile_, FormatMetrics(in), &error);
    // said once when it starts failing and once when it works again, not every period
    if (ok == metricsFailing_)
        printLine_(ok ? "metrics: " + metricsFile_ + " written again" : "metrics: " + error);
    metricsFailing_ = !ok;
    return ok;
}

}  // namespace norvex
