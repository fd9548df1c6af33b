#include "shell/relay_metrics.h"

#include "bridge/device_table.h"
#include "shell/status_mark.h"

namespace norvex {

std::vector<RelayMetric> RelayMetricsOf(const RelayEngine& engine, uint32_t nowMs,
                                        uint32_t offlineAfterMs) {
    std::vector<RelayMetric> out;
    for (size_t row = 0; row < engine.RelayCount(); ++row) {
        RelayMetric m;
        m.devid = engine.RelayDevid(row);
        uint32_t tick = engine.LastHeardTick(row);
        m.heard = tick != kNeverHeard;
        if (m.heard) {
            m.online = RelayStatusMark(nowMs, tick, offlineAfterMs) == kRelayOnlineMark;
            m.secondsSinceHeard = TickSince(nowMs, tick) / 1000.0;
        }
        out.push_back(m);
    }
    return out;
}

}  // namespace norvex
