#include "soak_run.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "fault_report.h"
#include "rogue_broker.h"
#include "stop_signal.h"

namespace norvex::soak {

const char* const kFaultKinds[] = {"kill",   "refuse", "stop",      "stop-connect", "flood",
                                   "reopen", "hangup", "malformed", nullptr};

namespace {

using std::chrono::milliseconds;

// Holds a loopback port bound but not listening: connects to it are refused, and nobody else
// takes it meanwhile.
class PortHold {
public:
    explicit PortHold(int port) : fd_(BindLoopback(port)) {}
    ~PortHold() {
        if (fd_ >= 0) ::close(fd_);
    }
    PortHold(const PortHold&) = delete;
    PortHold& operator=(const PortHold&) = delete;

private:
    int fd_ = -1;
};

class Soak {
public:
    Soak(const SoakOptions& o, Rig& rig) : o_(o), rig_(rig), lane_(rig.LaneAt(0)) {}

    void Run() {
        const auto start = Clock::now();
        deadline_ = start + milliseconds(static_cast<long>(o_.maxSeconds * 1000));
        for (int c = 0; c < o_.cycles && Clock::now() < deadline_ && !StopRequested(); ++c) {
            const std::string& kind = o_.faults[static_cast<size_t>(c) % o_.faults.size()];
            CycleResult r = RunCycle(kind);
            results_.push_back(r);
            std::printf("cycle %d %s: %s\n", c + 1, kind.c_str(), Describe(r).c_str());
            std::fflush(stdout);
            if (r.cut) break;
            Pump(milliseconds(o_.gapMs));
        }
        runSeconds_ = std::chrono::duration<double>(Clock::now() - start).count();
    }

    const std::vector<CycleResult>& Results() const { return results_; }
    double RunSeconds() const { return runSeconds_; }

private:
    bool Pump(Clock::duration limit, const std::function<bool()>& done = {}) {
        auto left = deadline_ - Clock::now();
        if (left <= Clock::duration::zero()) return done && done();
        return rig_.Pump(std::min(limit, left), done);
    }

    bool BrokerBack() {
        rig_.Broker().Start();
        return Pump(std::chrono::seconds(10), [&] { return rig_.Broker().Listening(); });
    }

    // Waits for a record written after back to cross each way; fills the result's times.
    void Recover(CycleResult& r) {
        lane_.Up().WatchFrom(r.backAt);
        lane_.Down().WatchFrom(r.backAt);
        bool ok = Pump(milliseconds(o_.recoverLimitMs),
                       [&] { return lane_.Up().FreshArrival() && lane_.Down().FreshArrival(); });
        r.recovered = ok;
        r.cut = !ok && (Clock::now() >= deadline_ || StopRequested());
        r.upAt = lane_.Up().FreshArrival();
        r.downAt = lane_.Down().FreshArrival();
        r.subscribedAt = rig_.SubscribedAfter(0, r.faultAt);
        r.endAt = Clock::now();
        if (r.upAt && r.downAt) r.endAt = std::max(*r.upAt, *r.downAt);
    }

    bool WaitServiceEnd(CycleResult& r, milliseconds limit) {
        size_t before = rig_.Exits().size();
        if (!Pump(limit, [&] { return rig_.Exits().size() > before; })) return false;
        r.exitStatus = rig_.Exits().back().status;
        ++r.expectedExits;
        return true;
    }

    bool WaitServiceRestart(CycleResult& r) {
        auto limit = milliseconds(static_cast<long>(o_.rig.restartSeconds * 1000) + 10000);
        if (!Pump(limit, [&] {
                auto at = rig_.LastRestart(0);
                return at && *at > r.faultAt;
            }))
            return false;
        r.backAt = *rig_.LastRestart(0);
        return true;
    }

    CycleResult RunCycle(const std::string& kind) {
        CycleResult r;
        r.kind = kind;
        r.faultAt = Clock::now();
        size_t exitsBefore = rig_.Exits().size();
        MosquittoProc& broker = rig_.Broker();
        bool outage = true;
        if (kind == "kill") {
            broker.Kill();
            Pump(milliseconds(o_.downMs));
            BrokerBack();
            r.backAt = Clock::now();
        } else if (kind == "refuse") {
            broker.Kill();
            {
                PortHold hold(broker.Port());
                Pump(milliseconds(o_.refuseMs));
            }
            BrokerBack();
            r.backAt = Clock::now();
        } else if (kind == "stop") {
            broker.Pause();
            Pump(milliseconds(o_.stopMs));
            broker.Resume();
            r.backAt = Clock::now();
        } else if (kind == "stop-connect") {
            // Stopped as it comes back, so that the service's CONNECT waits out the answer limit.
            broker.Kill();
            BrokerBack();
            broker.Pause();
            Pump(milliseconds(o_.stopMs));
            broker.Resume();
            r.backAt = Clock::now();
        } else if (kind == "flood") {
            outage = false;
            Child flood;
            flood.Start({FloodProgram(), "--group", lane_.GroupId(), "--devids", "1000001",
                         "--no-echo", "--ping-ms", "0", "--status-flood",
                         std::to_string(o_.floodRelays), "--flood-ms", "1000", "--duration-ms",
                         std::to_string(o_.floodMs), "--broker", broker.HostPort()},
                        {}, rig_.Scratch() + "/flood.log");
            Pump(milliseconds(o_.floodMs + 10000),
                 [&] { return flood.Poll() != -1 || !flood.Running(); });
            flood.Kill();
            r.backAt = Clock::now();
        } else if (kind == "reopen") {
            lane_.CloseApp();
            Pump(milliseconds(o_.reopenMs));
            lane_.OpenApp();
            r.backAt = Clock::now();
        } else if (kind == "hangup") {
            lane_.HangUpPort();
            r.serviceEnded = WaitServiceEnd(r, milliseconds(10000));
            lane_.RestartPort();
            if (r.serviceEnded)
                WaitServiceRestart(r);
            else
                r.backAt = Clock::now();
        } else if (kind == "malformed") {
            broker.Kill();
            RogueBroker rogue(broker.Port(), lane_.GroupId());
            Pump(milliseconds(2000), [&] { return rogue.Start(); });
            r.serviceEnded = WaitServiceEnd(r, milliseconds(30000));
            r.malformedSent = rogue.MalformedSent();
            rogue.Stop();
            BrokerBack();
            if (r.serviceEnded)
                WaitServiceRestart(r);
            else
                r.backAt = Clock::now();
        }
        Recover(r);
        if (outage)
            r.window = {r.faultAt, r.endAt};
        else
            r.window.reset();
        r.unexpectedExits = static_cast<int>(rig_.Exits().size() - exitsBefore) - r.expectedExits;
        return r;
    }

    std::string FloodProgram() const { return o_.rig.binDir + "/tools/relay-sim/relay-sim"; }

    const SoakOptions& o_;
    Rig& rig_;
    Lane& lane_;
    Clock::time_point deadline_;
    std::vector<CycleResult> results_;
    double runSeconds_ = 0;
};

}  // namespace

int RunSoak(const SoakOptions& o) {
    Rig rig(o.rig);
    std::string why;
    if (!rig.Start(&why)) {
        std::fprintf(stderr, "norvex-soak: %s (scratch %s)\n", why.c_str(), rig.Scratch().c_str());
        return 2;
    }
    Lane& lane = rig.LaneAt(0);
    // The run starts once traffic crosses both ways; what is lost before counts to the start.
    CycleResult start;
    start.kind = "start";
    start.faultAt = start.backAt = Clock::now();
    lane.Up().WatchFrom(start.backAt);
    lane.Down().WatchFrom(start.backAt);
    start.recovered = rig.Pump(std::chrono::seconds(60), [&] {
        return lane.Up().FreshArrival() && lane.Down().FreshArrival();
    });
    if (!start.recovered) {
        std::fprintf(stderr, "norvex-soak: no traffic crossed within 60 s (scratch %s)\n",
                     rig.Scratch().c_str());
        return 2;
    }
    start.endAt = std::max(*lane.Up().FreshArrival(), *lane.Down().FreshArrival());
    start.subscribedAt = rig.SubscribedAfter(0, start.faultAt);
    start.window = {start.faultAt, start.endAt};
    Soak soak(o, rig);
    soak.Run();
    rig.Pump(std::chrono::seconds(2));  // the last records in flight
    std::vector<CycleResult> all{start};
    all.insert(all.end(), soak.Results().begin(), soak.Results().end());
    SoakReport report = BuildReport(all, rig, soak.RunSeconds());
    std::string text = FormatReport(report, o);
    std::fputs(text.c_str(), stdout);
    if (!o.reportPath.empty()) std::ofstream(o.reportPath) << text;
    return report.Passed() ? 0 : 1;
}

}  // namespace norvex::soak
