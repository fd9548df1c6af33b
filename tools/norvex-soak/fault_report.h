#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "record_stream.h"

namespace norvex::soak {

class Rig;
struct SoakOptions;

// One fault and the way back from it.
struct CycleResult {
    std::string kind;
    Clock::time_point faultAt;
    Clock::time_point backAt;  // broker (or port, or service) back
    Clock::time_point endAt;   // traffic crossed both ways again
    std::optional<Clock::time_point> subscribedAt, upAt, downAt;
    // Records written in here may be lost; none for faults that are no outage (flood).
    std::optional<std::pair<Clock::time_point, Clock::time_point>> window;
    bool recovered = false;
    bool cut = false;  // the run's time ran out first
    bool serviceEnded = false;
    bool malformedSent = false;
    int exitStatus = 0;
    int expectedExits = 0;
    int unexpectedExits = 0;
};

// One direction's bytes.
struct DirectionTotals {
    uint64_t written = 0, delivered = 0;
    uint64_t lostInOutage = 0, lostOutside = 0;  // bytes of whole records
    uint64_t duplicates = 0, outOfOrder = 0, stray = 0;
    double p50 = 0, p99 = 0;  // latency of records written outside every outage and flood, ms
    double floodP50 = 0, floodP99 = 0;  // of records written during a flood
    size_t floodRecords = 0;
};

struct KindTotals {
    int cycles = 0, recovered = 0, stalls = 0;
    std::vector<double> subscribeMs, crossMs;  // from back to subscribed, to traffic both ways
    uint64_t lostUp = 0, lostDown = 0;
    int serviceEnds = 0;
    int missedEnds = 0;  // hangup or malformed cycles after which the service ran on
};

struct ProcessGrowth {
    int pid = 0;
    double seconds = 0;
    long rssStartKb = 0, rssEndKb = 0, rssMaxKb = 0;
    int fdsStart = 0, fdsEnd = 0, threadsStart = 0, threadsEnd = 0;
};

struct SoakReport {
    std::vector<std::pair<std::string, KindTotals>> kinds;
    DirectionTotals up, down;
    std::vector<ProcessGrowth> processes;
    int unexpectedExits = 0, restarts = 0;
    double seconds = 0;
    std::vector<std::string> lossesOutside;  // where, for the reader
    bool Passed() const;
};

SoakReport BuildReport(const std::vector<CycleResult>& cycles, Rig& rig, double seconds);
std::string FormatReport(const SoakReport& r, const SoakOptions& o);
std::string Describe(const CycleResult& r);

}  // namespace norvex::soak
