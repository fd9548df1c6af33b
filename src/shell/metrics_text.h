#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/engine_counters.h"

namespace norvex {

// One relay of the group as monitoring sees it.
struct RelayMetric {
    int32_t devid = 0;
    bool heard = false;            // heard at least once in this run
    bool online = false;           // shown "√": heard within the offline limit
    double secondsSinceHeard = 0;  // when heard
};

struct MetricsInput {
    CounterSnapshot counters;
    int64_t nowUnixMs = 0;
    std::string groupId;
    std::vector<RelayMetric> relays;
};

// The Prometheus text exposition format, as a node_exporter textfile collector reads it: every
// name begins "norvex_", counters end "_total" (byte counters "_bytes_total"), no timestamps.
// The connected state is norvex_connected (0 or 1); relays never heard have no last-heard series.
std::string FormatMetrics(const MetricsInput& input);

// A label value with \, " and newline escaped as the format requires.
std::string EscapeLabelValue(std::string_view value);

}  // namespace norvex
