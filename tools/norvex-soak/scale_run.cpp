#include "scale_run.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>

#include "proc_stats.h"
#include "stop_signal.h"

namespace norvex::soak {

namespace {

struct ScaleRow {
    int services = 0;
    double cpuMean = 0, cpuMax = 0;   // percent of one core, per service
    double pssMean = 0, ussMean = 0;  // KiB per service
    double upP50 = 0, upP99 = 0, downP50 = 0, downP99 = 0;
    double brokerCpu = 0;
    double relayCpu = 0;  // all relay-sim processes together
    uint64_t lost = 0, written = 0;
    bool ok = false;
};

std::string Fmt(const char* f, double v) {
    char b[64];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

bool AllCrossing(Rig& rig) {
    for (size_t i = 0; i < rig.LaneCount(); ++i) {
        if (!rig.LaneAt(i).Up().FreshArrival() || !rig.LaneAt(i).Down().FreshArrival())
            return false;
    }
    return true;
}

ScaleRow Measure(const ScaleOptions& o, int services) {
    ScaleRow row;
    row.services = services;
    RigOptions ro = o.rig;
    ro.lanes = services;
    Rig rig(ro);
    std::string why;
    if (!rig.Start(&why)) {
        std::fprintf(stderr, "norvex-scale: %d services: %s\n", services, why.c_str());
        return row;
    }
    auto t0 = Clock::now();
    for (size_t i = 0; i < rig.LaneCount(); ++i) {
        rig.LaneAt(i).Up().WatchFrom(t0);
        rig.LaneAt(i).Down().WatchFrom(t0);
    }
    if (!rig.Pump(std::chrono::seconds(120), [&] { return AllCrossing(rig); })) {
        std::fprintf(stderr, "norvex-scale: %d services: traffic did not cross every lane\n",
                     services);
        return row;
    }
    const auto t0Crossed = Clock::now();
    rig.Pump(std::chrono::milliseconds(static_cast<long>(o.warmupSeconds * 1000)));
    auto cpuOf = [&](int pid) { return SampleProcess(pid).cpuSeconds; };
    std::vector<double> before, relayBefore;
    for (size_t i = 0; i < rig.LaneCount(); ++i) {
        before.push_back(cpuOf(rig.LaneAt(i).ServicePid()));
        relayBefore.push_back(cpuOf(rig.LaneAt(i).RelayPid()));
    }
    double brokerBefore = cpuOf(rig.Broker().Pid());
    auto from = Clock::now();
    rig.Pump(std::chrono::milliseconds(static_cast<long>(o.seconds * 1000)));
    auto to = Clock::now();
    double wall = std::chrono::duration<double>(to - from).count();
    std::vector<double> cpu, up, down;
    double pss = 0, uss = 0, relay = 0;
    for (size_t i = 0; i < rig.LaneCount(); ++i) {
        Lane& lane = rig.LaneAt(i);
        ProcSample s = SampleProcess(lane.ServicePid(), true);
        cpu.push_back((s.cpuSeconds - before[i]) / wall * 100);
        relay += (cpuOf(lane.RelayPid()) - relayBefore[i]) / wall * 100;
        pss += static_cast<double>(s.pssKb);
        uss += static_cast<double>(s.ussKb);
        for (const auto& [written, ms] : lane.Up().Latencies()) {
            if (written >= from && written < to) up.push_back(ms);
        }
        for (const auto& [written, ms] : lane.Down().Latencies()) {
            if (written >= from && written < to) down.push_back(ms);
        }
        // what was written before the lane was up does not count
        for (const auto& g : lane.Up().Gaps()) {
            if (lane.UpSource().WrittenAt(g.first) >= t0Crossed)
                row.lost += uint64_t{g.last - g.first + 1} * kRecordSize;
        }
        for (const auto& g : lane.Down().Gaps()) {
            if (lane.DownSource().WrittenAt(g.first) >= t0Crossed)
                row.lost += uint64_t{g.last - g.first + 1} * kRecordSize;
        }
        row.lost += (lane.Up().Duplicates() + lane.Down().Duplicates() + lane.Up().OutOfOrder() +
                     lane.Down().OutOfOrder()) *
                        kRecordSize +
                    lane.Up().StrayBytes() + lane.Down().StrayBytes();
        row.written += lane.UpSource().BytesWritten() + lane.DownSource().BytesWritten();
    }
    row.brokerCpu = (cpuOf(rig.Broker().Pid()) - brokerBefore) / wall * 100;
    row.relayCpu = relay;
    row.cpuMean = std::accumulate(cpu.begin(), cpu.end(), 0.0) / static_cast<double>(cpu.size());
    row.cpuMax = *std::max_element(cpu.begin(), cpu.end());
    row.pssMean = pss / services;
    row.ussMean = uss / services;
    row.upP50 = Percentile(up, 50);
    row.upP99 = Percentile(up, 99);
    row.downP50 = Percentile(down, 50);
    row.downP99 = Percentile(down, 99);
    row.ok = rig.Exits().empty();
    return row;
}

}  // namespace

int RunScale(const ScaleOptions& o) {
    std::string text =
        "| services | norvexd CPU % of a core, mean / max | PSS / USS per service (KiB) | latency "
        "up p50 / p99 (ms) | latency down p50 / p99 (ms) | mosquitto CPU % | all relay-sim CPU % | "
        "bytes lost, doubled or moved / written |\n"
        "|---|---|---|---|---|---|---|---|\n";
    bool ok = true;
    for (int n : o.services) {
        if (StopRequested()) return 1;
        ScaleRow r = Measure(o, n);
        if (!r.ok && r.written == 0) return 2;
        ok &= r.ok && r.lost == 0;
        std::string line = "| " + std::to_string(n) + " | " + Fmt("%.2f", r.cpuMean) + " / " +
                           Fmt("%.2f", r.cpuMax) + " | " + Fmt("%.0f", r.pssMean) + " / " +
                           Fmt("%.0f", r.ussMean) + " | " + Fmt("%.1f", r.upP50) + " / " +
                           Fmt("%.1f", r.upP99) + " | " + Fmt("%.1f", r.downP50) + " / " +
                           Fmt("%.1f", r.downP99) + " | " + Fmt("%.1f", r.brokerCpu) + " | " +
                           Fmt("%.1f", r.relayCpu) + " | " + std::to_string(r.lost) + " / " +
                           std::to_string(r.written) + " |\n";
        std::printf("%s", line.c_str());
        std::fflush(stdout);
        text += line;
    }
    std::fputs(("\n" + text).c_str(), stdout);
    if (!o.reportPath.empty()) std::ofstream(o.reportPath) << text;
    return ok ? 0 : 1;
}

}  // namespace norvex::soak
