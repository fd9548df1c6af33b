// norvexd: the service without the panel.  Loads the configuration, runs the Start action once
// as the panel does when it opens, prints what the panel would show on stderr, and treats
// SIGINT/SIGTERM as a confirmed stop and SIGHUP as a stop followed by a new run with the
// configuration read again.  SIGUSR1 prints the traffic counters.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

#include "common/unique_fd.h"
#include "shell/config_file.h"
#include "shell/group_gateway.h"
#include "shell/norvexd_options.h"
#include "shell/norvexd_signals.h"
#include "shell/relay_metrics.h"
#include "shell/serial_ports.h"
#include "shell/service_config.h"
#include "shell/service_control.h"
#include "shell/shell_texts.h"
#include "shell/stderr_panel.h"
#include "shell/trace_writer.h"
#include "shell/traffic_reports.h"

namespace {

using namespace norvex;
using Clock = std::chrono::steady_clock;

constexpr char kAppName[] = "norvexd";
constexpr auto kTimerPeriod = std::chrono::milliseconds(1000);

int ListPorts(const NorvexdOptions& o) {
    for (const SerialPortEntry& p : EnumSerialPorts(o.site.extraSerialPorts)) {
        std::printf("%s\t%s%s%s\n", p.portName.c_str(), p.deviceName.c_str(),
                    p.kernelName.empty() ? "" : "\t", p.kernelName.c_str());
    }
    return 0;
}

void PrintLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

// How a run ended.
enum class RunEnd {
    kFailed,   // the service could not start
    kEnded,    // it ended by itself
    kStopped,  // SIGINT or SIGTERM
    kReload    // SIGHUP: start again with the configuration read anew
};

RunEnd EndFor(SignalRequest request) {
    return request == SignalRequest::kReload ? RunEnd::kReload : RunEnd::kStopped;
}

// Runs the status timer and the traffic reports and waits for the run's end, turning the first
// stop or reload signal into a stop request and SIGUSR1 into a stats line.
RunEnd RunUntilEngineEnds(ServiceControl& control, TrafficReports& reports,
                          ServiceSignals& signals) {
    auto nextTick = Clock::now() + kTimerPeriod;
    while (control.RunActive()) {
        reports.OnTick(Clock::now());
        SignalRequest request = signals.Wait(nextTick - Clock::now());
        if (request == SignalRequest::kStats) {
            reports.PrintStats();
            continue;
        }
        if (request != SignalRequest::kNone) {
            control.RequestStop();
            control.JoinEngine();
            return EndFor(request);
        }
        if (Clock::now() >= nextTick) {
            control.OnTimer();
            nextTick += kTimerPeriod;
        }
    }
    control.JoinEngine();
    return RunEnd::kEnded;
}

// Where the trace goes: stderr, or the trace file opened for appending (readable by its owner
// only: it holds the user's serial data).  An invalid descriptor when the file cannot be opened.
UniqueFd OpenTrace(const NorvexdOptions& o) {
    if (o.traceFile.empty()) return UniqueFd(::dup(STDERR_FILENO));
    UniqueFd fd(::open(o.traceFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!fd) std::fprintf(stderr, "norvexd: cannot open the trace file %s\n", o.traceFile.c_str());
    return fd;
}

// One run, from reading the configuration to the stats line at its end.  lastPacketId carries
// the MQTT packet-id counter from one run of the process to the next.
RunEnd RunService(const std::string& configPath, const NorvexdOptions& o, ServiceSignals& signals,
                  uint16_t& lastPacketId) {
    ServiceConfigLoad loaded = LoadServiceConfig(configPath);
    for (const std::string& line : loaded.lines) PrintLine(line);
    if (!loaded.config) return RunEnd::kFailed;
    PanelConfig config = std::move(*loaded.config);
    int groupIndex = ChooseCurrentGroup(config);
    config.netPortName = NetPortName(o, config.netPortName);
    StderrPanel panel;

    ServiceSite site = SiteFrom(o.site, o.tuning);
    site.virtualPort = o.virtualPortAccess;
    // a stop or reload signal cuts the start-up requests short
    std::unique_ptr<GroupGateway> groups =
        MakeHttpGroupGateway(o.site.endpoints.groupService, signals.StopFd());

    UniqueFd traceFd;
    std::unique_ptr<TraceWriter> trace;  // outlives the engine: its hook points here
    if (o.trace) {
        traceFd = OpenTrace(o);
        if (!traceFd) return RunEnd::kFailed;
        trace = std::make_unique<TraceWriter>(traceFd.Get());
    }
    ServiceControl control(panel, *groups, kAppName, site);
    if (o.relayOfflineMs != 0) control.SetOfflineAfterMs(o.relayOfflineMs);
    control.SetStartCancelled([&signals] { return signals.StopPending(); });
    control.Engine().SetLastPacketId(lastPacketId);
    if (trace) control.Engine().SetTraceHook(trace->Hook());

    const RelayEngine& engine = control.Engine();
    TrafficSources sources;
    sources.counters = [&engine] { return engine.Counters().Snapshot(); };
    sources.relays = [&engine, &control] {
        return RelayMetricsOf(engine, SystemTickClock().NowMs(), control.OfflineAfterMs());
    };
    if (groupIndex >= 0 && groupIndex < static_cast<int>(config.groups.size()))
        sources.groupId = config.groups[groupIndex].id;
    TrafficReports reports(sources, std::chrono::seconds(o.statsIntervalS), o.metricsFile,
                           PrintLine);

    // the metrics file exists from the start, before the web requests of the start action
    reports.OnTick(Clock::now());
    panel.SetStartButton(kTextStartService, true);
    StartOutcome outcome = control.Start(config, groupIndex);
    RunEnd end = RunEnd::kFailed;
    if (outcome == StartOutcome::kStarted) {
        end = RunUntilEngineEnds(control, reports, signals);
    } else if (signals.StopPending()) {
        // the stop came while the start-up requests ran: a stop like any other
        end = EndFor(signals.Wait(std::chrono::nanoseconds(0)));
    } else {
        if (outcome == StartOutcome::kNoGroup) {
            std::fprintf(stderr, "norvexd: no group in %s; add one with norvex-group\n",
                         configPath.c_str());
        }
        return RunEnd::kFailed;
    }
    lastPacketId = control.Engine().LastPacketId();
    reports.PrintStats();
    if (!o.metricsFile.empty()) reports.WriteMetrics();
    return end;
}

// Runs the service until it is stopped or fails; each SIGHUP begins a new run.
int RunUntilDone(const std::string& configPath, const NorvexdOptions& o) {
    ServiceSignals signals;  // before any thread starts: they inherit the mask
    uint16_t lastPacketId = 0;
    for (;;) {
        switch (RunService(configPath, o, signals, lastPacketId)) {
            case RunEnd::kStopped:
                return 0;
            case RunEnd::kReload:
                std::fprintf(stderr, "norvexd: SIGHUP: reading %s again\n", configPath.c_str());
                continue;
            case RunEnd::kFailed:
            case RunEnd::kEnded:
                return 1;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    NorvexdOptions o = ParseNorvexdOptions(argc, argv);
    switch (o.action) {
        case NorvexdOptions::Action::kHelp:
            std::fputs(kNorvexdUsage, stdout);
            return 0;
        case NorvexdOptions::Action::kVersion:
            std::printf("norvexd %s\n", NORVEX_VERSION);
            return 0;
        case NorvexdOptions::Action::kListPorts:
            return ListPorts(o);
        case NorvexdOptions::Action::kBadUsage:
            std::fprintf(stderr, "norvexd: %s\n%s", o.error.c_str(), kNorvexdUsage);
            return 2;
        case NorvexdOptions::Action::kRun:
            break;
    }
    std::string path = o.configPath.empty() ? DefaultPanelConfigPath() : o.configPath;
    if (path.empty()) {
        std::fprintf(stderr, "norvexd: cannot find the executable's directory; use --config\n");
        return 2;
    }
    return RunUntilDone(path, o);
}
