#pragma once
#include <cstdint>
#include <vector>

#include "bridge/relay_engine.h"
#include "shell/metrics_text.h"

namespace norvex {

// The engine's relays as monitoring sees them at tick nowMs: heard at all, "√" (heard within
// offlineAfterMs), and how long ago.  The thread that started the engine.
std::vector<RelayMetric> RelayMetricsOf(const RelayEngine& engine, uint32_t nowMs,
                                        uint32_t offlineAfterMs);

}  // namespace norvex
