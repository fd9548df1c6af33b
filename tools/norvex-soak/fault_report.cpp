#include "fault_report.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "proc_stats.h"
#include "rig.h"
#include "soak_run.h"

namespace norvex::soak {

namespace {

// Records in flight when a fault strikes were written a little before it.
constexpr auto kInFlight = std::chrono::milliseconds(1000);

std::string Fmt(const char* f, double v) {
    char b[64];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

double Ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

bool InWindow(const std::vector<CycleResult>& cycles, Clock::time_point from,
              Clock::time_point to) {
    for (const auto& c : cycles) {
        if (c.window && from >= c.window->first - kInFlight && to <= c.window->second) return true;
    }
    return false;
}

bool InFlood(const std::vector<CycleResult>& cycles, Clock::time_point at) {
    for (const auto& c : cycles) {
        if (c.kind == "flood" && at >= c.faultAt && at <= c.endAt) return true;
    }
    return false;
}

// Which cycle's window a loss lies in, for the per-kind columns.
const CycleResult* WindowOf(const std::vector<CycleResult>& cycles, Clock::time_point at) {
    for (const auto& c : cycles) {
        if (c.window && at >= c.window->first - kInFlight && at <= c.window->second) return &c;
    }
    return nullptr;
}

DirectionTotals Totals(const RecordSource& src, const RecordChecker& chk,
                       const std::vector<CycleResult>& cycles,
                       std::map<std::string, KindTotals>& kinds, bool up,
                       std::vector<std::string>& outside, Clock::time_point t0) {
    DirectionTotals t;
    t.written = src.BytesWritten();
    t.delivered = chk.BytesDelivered();
    t.duplicates = chk.Duplicates();
    t.outOfOrder = chk.OutOfOrder();
    t.stray = chk.StrayBytes();
    // Records written after the last one delivered are still in flight, not lost.
    for (const RecordGap& g : chk.Gaps()) {
        uint64_t bytes = uint64_t{g.last - g.first + 1} * kRecordSize;
        Clock::time_point from = src.WrittenAt(g.first), to = src.WrittenAt(g.last);
        if (InWindow(cycles, from, to)) {
            t.lostInOutage += bytes;
            if (const CycleResult* c = WindowOf(cycles, from))
                (up ? kinds[c->kind].lostUp : kinds[c->kind].lostDown) += bytes;
        } else {
            t.lostOutside += bytes;
            char line[160];
            std::snprintf(
                line, sizeof line,
                "%s: records %u-%u written %.3f-%.3f s into the run, lost outside an outage",
                up ? "up" : "down", g.first, g.last, Ms(t0, from) / 1000, Ms(t0, to) / 1000);
            outside.push_back(line);
        }
    }
    constexpr size_t kMisplacedShown = 8;
    for (size_t i = 0; i < chk.MisplacedRecords().size() && i < kMisplacedShown; ++i) {
        const auto& m = chk.MisplacedRecords()[i];
        std::string after = "the start";
        for (const auto& c : cycles) {
            if (c.faultAt <= m.at)
                after = "a " + c.kind + " fault at " + Fmt("%.1f s", Ms(t0, c.faultAt) / 1000);
        }
        char line[200];
        std::snprintf(line, sizeof line, "%s: record %u %s at %.3f s (written %.3f s), after %s",
                      up ? "up" : "down", m.index,
                      m.duplicate ? "delivered twice" : "delivered after a later one",
                      Ms(t0, m.at) / 1000, Ms(t0, src.WrittenAt(m.index)) / 1000, after.c_str());
        outside.push_back(line);
    }
    std::vector<double> steady, flood;
    for (const auto& [written, ms] : chk.Latencies()) {
        if (InFlood(cycles, written)) {
            flood.push_back(ms);
        } else if (!InWindow(cycles, written, written)) {
            steady.push_back(ms);
        }
    }
    t.p50 = Percentile(steady, 50);
    t.p99 = Percentile(steady, 99);
    t.floodP50 = Percentile(flood, 50);
    t.floodP99 = Percentile(flood, 99);
    t.floodRecords = flood.size();
    return t;
}

// the service's one report thread works off the flood's last status messages
constexpr auto kFloodSettle = std::chrono::seconds(2);
constexpr size_t kWarmupSamples = 5;  // one a second while relaying
constexpr size_t kMinSamples = 10;

// Per process of the service: from the end of the first tenth of its life (warm-up) to its
// end, both while it relays; descriptors and threads as the least of the last three samples, so
// that a short-lived thread that happens to run at the last sample is not counted as growth.
std::vector<ProcessGrowth> Growth(const std::vector<ServiceSample>& samples,
                                  const std::vector<CycleResult>& cycles) {
    std::map<int, std::vector<const ServiceSample*>> byPid;
    std::vector<int> order;
    // Samples are compared only while the service relays: during an outage it holds no broker
    // socket, a process on its way out after a fault that ends it is no measure either, and
    // the status reports of a flood take a moment to be worked off.
    auto relaying = [&](const ServiceSample& s) {
        for (const auto& c : cycles) {
            auto settled = c.endAt + (c.kind == "flood" ? kFloodSettle : Clock::duration::zero());
            if (s.at >= c.faultAt && s.at <= settled) return false;
        }
        return true;
    };
    for (const auto& s : samples) {
        if (!s.proc.ok || !relaying(s)) continue;
        if (!byPid.count(s.pid)) order.push_back(s.pid);
        byPid[s.pid].push_back(&s);
    }
    std::vector<ProcessGrowth> out;
    for (int pid : order) {
        const auto& v = byPid[pid];
        if (v.size() < kMinSamples) continue;
        const ServiceSample& base = *v[std::max(v.size() / 10, kWarmupSamples)];
        ProcessGrowth g;
        g.pid = pid;
        g.seconds = Ms(v.front()->at, v.back()->at) / 1000;
        g.rssStartKb = base.proc.rssKb;
        g.rssEndKb = v.back()->proc.rssKb;
        g.fdsStart = base.proc.fds;
        g.threadsStart = base.proc.threads;
        g.fdsEnd = g.threadsEnd = 1 << 30;
        for (size_t i = v.size() - 3; i < v.size(); ++i) {
            g.fdsEnd = std::min(g.fdsEnd, v[i]->proc.fds);
            g.threadsEnd = std::min(g.threadsEnd, v[i]->proc.threads);
        }
        for (const auto* s : v) g.rssMaxKb = std::max(g.rssMaxKb, s->proc.rssKb);
        out.push_back(g);
    }
    return out;
}

std::string Times(const std::vector<double>& v) {
    if (v.empty()) return "-";
    return Fmt("%.0f", Percentile(v, 50)) + " / " + Fmt("%.0f", Percentile(v, 99)) + " / " +
           Fmt("%.0f", *std::max_element(v.begin(), v.end()));
}

}  // namespace

bool SoakReport::Passed() const {
    bool ok = unexpectedExits == 0 && up.lostOutside == 0 && down.lostOutside == 0 &&
              up.duplicates + down.duplicates + up.outOfOrder + down.outOfOrder == 0 &&
              up.stray + down.stray == 0;
    for (const auto& [name, k] : kinds) ok &= k.stalls == 0 && k.missedEnds == 0;
    for (const auto& p : processes) ok &= p.fdsEnd <= p.fdsStart && p.threadsEnd <= p.threadsStart;
    return ok;
}

SoakReport BuildReport(const std::vector<CycleResult>& cycles, Rig& rig, double seconds) {
    SoakReport r;
    r.seconds = seconds;
    std::map<std::string, KindTotals> kinds;
    std::vector<std::string> order;
    for (const auto& c : cycles) {
        if (!kinds.count(c.kind)) order.push_back(c.kind);
        KindTotals& k = kinds[c.kind];
        if (c.cut) continue;
        ++k.cycles;
        k.recovered += c.recovered;
        k.stalls += !c.recovered;
        k.serviceEnds += c.serviceEnded;
        // A hung-up port and a malformed packet end the run; the unit's restart brings it back.
        bool mustEnd = c.kind == "hangup" || c.kind == "malformed";
        k.missedEnds += mustEnd && (!c.serviceEnded || (c.kind == "malformed" && !c.malformedSent));
        r.unexpectedExits += std::max(0, c.unexpectedExits);
        if (c.subscribedAt && *c.subscribedAt >= c.backAt)
            k.subscribeMs.push_back(Ms(c.backAt, *c.subscribedAt));
        if (c.recovered) k.crossMs.push_back(Ms(c.backAt, c.endAt));
    }
    Lane& lane = rig.LaneAt(0);
    Clock::time_point t0 = lane.UpSource().Next() > 0 ? lane.UpSource().WrittenAt(0) : Clock::now();
    r.up = Totals(lane.UpSource(), lane.Up(), cycles, kinds, true, r.lossesOutside, t0);
    r.down = Totals(lane.DownSource(), lane.Down(), cycles, kinds, false, r.lossesOutside, t0);
    for (const auto& name : order) r.kinds.emplace_back(name, kinds[name]);
    r.processes = Growth(rig.Samples(), cycles);
    r.restarts = static_cast<int>(rig.Exits().size());
    return r;
}

std::string Describe(const CycleResult& r) {
    std::string s = r.recovered ? "back" : (r.cut ? "cut by --max-seconds" : "STALL");
    if (r.subscribedAt && *r.subscribedAt >= r.backAt)
        s += Fmt(", subscribed %.0f ms", Ms(r.backAt, *r.subscribedAt));
    if (r.recovered) s += Fmt(", both ways %.0f ms", Ms(r.backAt, r.endAt));
    if (r.serviceEnded)
        s += ", service ended with status " + std::to_string(WEXITSTATUS(r.exitStatus));
    if (r.kind == "malformed")
        s += r.malformedSent ? ", malformed packet sent" : ", malformed packet NOT sent";
    if (r.unexpectedExits > 0) s += ", UNEXPECTED service end";
    return s;
}

std::string FormatReport(const SoakReport& r, const SoakOptions& o) {
    std::string s;
    s += Fmt("\nRun: %.0f s, ", r.seconds) + std::to_string(o.rig.rate) +
         " bytes/s each way, service restarts " + std::to_string(r.restarts) +
         ", unexpected ends " + std::to_string(r.unexpectedExits) + "\n\n";
    s +=
        "| fault | cycles | stalls | back to subscribed p50 / p99 / max (ms) | back to traffic "
        "both ways p50 / p99 / max (ms) | lost up / down in its outages (bytes) | service ends |\n";
    s += "|---|---|---|---|---|---|---|\n";
    for (const auto& [name, k] : r.kinds) {
        s += "| " + name + " | " + std::to_string(k.cycles) + " | " + std::to_string(k.stalls) +
             " | " + Times(k.subscribeMs) + " | " + Times(k.crossMs) + " | " +
             std::to_string(k.lostUp) + " / " + std::to_string(k.lostDown) + " | " +
             std::to_string(k.serviceEnds) + " |\n";
    }
    s += "\n| direction | written | delivered | lost in outages | lost outside | duplicated | out "
         "of order | stray bytes | latency p50 / p99 (ms) | during floods p50 / p99 (ms) |\n";
    s += "|---|---|---|---|---|---|---|---|---|---|\n";
    for (auto [name, d] :
         {std::pair{"up (port to relay)", r.up}, std::pair{"down (relay to port)", r.down}}) {
        s += std::string("| ") + name + " | " + std::to_string(d.written) + " | " +
             std::to_string(d.delivered) + " | " + std::to_string(d.lostInOutage) + " | " +
             std::to_string(d.lostOutside) + " | " + std::to_string(d.duplicates) + " | " +
             std::to_string(d.outOfOrder) + " | " + std::to_string(d.stray) + " | " +
             Fmt("%.1f", d.p50) + " / " + Fmt("%.1f", d.p99) + " | " +
             (d.floodRecords == 0 ? std::string("-")
                                  : Fmt("%.1f", d.floodP50) + " / " + Fmt("%.1f", d.floodP99)) +
             " |\n";
    }
    s += "\n| norvexd process | lived (s) | RSS after warm-up → end, max (KiB) | descriptors | "
         "threads |\n";
    s += "|---|---|---|---|---|\n";
    for (const auto& p : r.processes) {
        s += "| " + std::to_string(p.pid) + Fmt(" | %.0f", p.seconds) + " | " +
             std::to_string(p.rssStartKb) + " → " + std::to_string(p.rssEndKb) + ", " +
             std::to_string(p.rssMaxKb) + " | " + std::to_string(p.fdsStart) + " → " +
             std::to_string(p.fdsEnd) + " | " + std::to_string(p.threadsStart) + " → " +
             std::to_string(p.threadsEnd) + " |\n";
    }
    for (const auto& l : r.lossesOutside) s += "- " + l + "\n";
    s += std::string("\nverdict: ") + (r.Passed() ? "PASS" : "FAIL") + "\n";
    return s;
}

}  // namespace norvex::soak
