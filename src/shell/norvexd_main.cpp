// norvexd: the service without the panel.  Loads the configuration, runs the Start action once
// as the panel does when it opens, prints what the panel would show on stderr, and treats
// SIGINT/SIGTERM as a confirmed stop.  SIGUSR1 prints the traffic counters.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bridge/site_env.h"
#include "common/unique_fd.h"
#include "shell/config_file.h"
#include "shell/group_gateway.h"
#include "shell/norvexd_options.h"
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

int ListPorts() {
    for (const SerialPortEntry& p : EnumSerialPorts()) {
        std::printf("%s\t%s\n", p.portName.c_str(), p.deviceName.c_str());
    }
    return 0;
}

// Test knob: a shorter offline limit, so that a silent relay turns "×" in seconds.
void ApplyOfflineOverride(ServiceControl& control) {
    const char* v = std::getenv("NORVEX_RELAY_OFFLINE_MS");
    if (!v || !*v) return;
    char* end = nullptr;
    unsigned long ms = std::strtoul(v, &end, 10);
    if (*end == '\0' && ms > 0 && ms <= 0xFFFFFFFFul)
        control.SetOfflineAfterMs(static_cast<uint32_t>(ms));
}

void PrintLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
}

// Runs the status timer and the traffic reports and waits for the run's end, turning the first
// SIGINT/SIGTERM into a stop request and SIGUSR1 into a stats line.  Returns whether the stop
// was requested (rather than the run ending by itself).
bool RunUntilEngineEnds(ServiceControl& control, TrafficReports& reports, const sigset_t& signals) {
    auto nextTick = Clock::now() + kTimerPeriod;
    while (control.RunActive()) {
        reports.OnTick(Clock::now());
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(nextTick - Clock::now());
        timespec wait{0, 0};
        if (left.count() > 0) {
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        int sig = ::sigtimedwait(&signals, nullptr, &wait);
        if (sig == SIGUSR1) {
            reports.PrintStats();
            continue;
        }
        if (sig > 0) {
            control.RequestStop();
            control.JoinEngine();
            return true;
        }
        if (Clock::now() >= nextTick) {
            control.OnTimer();
            nextTick += kTimerPeriod;
        }
    }
    control.JoinEngine();
    return false;
}

// Where the trace goes: stderr, or the trace file opened for appending (readable by its owner
// only: it holds the user's serial data).  An invalid descriptor when the file cannot be opened.
UniqueFd OpenTrace(const NorvexdOptions& o) {
    if (o.traceFile.empty()) return UniqueFd(::dup(STDERR_FILENO));
    UniqueFd fd(::open(o.traceFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (!fd) std::fprintf(stderr, "norvexd: cannot open the trace file %s\n", o.traceFile.c_str());
    return fd;
}

int RunService(const std::string& configPath, const NorvexdOptions& o) {
    ServiceConfigLoad loaded = LoadServiceConfig(configPath);
    for (const std::string& line : loaded.lines) PrintLine(line);
    if (!loaded.config) return 1;
    PanelConfig config = std::move(*loaded.config);
    int groupIndex = ChooseCurrentGroup(config);
    config.netPortName = NetPortName(o, config.netPortName);
    StderrPanel panel;

    BrokerEndpoint broker = BrokerFromEnv();
    ServiceSite site{broker.host, broker.port, ProductIdFromEnv(), o.virtualPortAccess};
    std::unique_ptr<GroupGateway> groups = MakeHttpGroupGateway();

    // Signals are taken synchronously by the main thread; every thread started from here on
    // inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    UniqueFd traceFd;
    std::unique_ptr<TraceWriter> trace;  // outlives the engine: its hook points here
    if (o.trace) {
        traceFd = OpenTrace(o);
        if (!traceFd) return 1;
        trace = std::make_unique<TraceWriter>(traceFd.Get());
    }
    ServiceControl control(panel, *groups, kAppName, site);
    ApplyOfflineOverride(control);
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
    if (outcome != StartOutcome::kStarted) {
        if (outcome == StartOutcome::kNoGroup) {
            std::fprintf(stderr, "norvexd: no group in %s; add one with norvex-group\n",
                         configPath.c_str());
        }
        return 1;
    }
    bool stopped = RunUntilEngineEnds(control, reports, signals);
    reports.PrintStats();
    if (!o.metricsFile.empty()) reports.WriteMetrics();
    return stopped ? 0 : 1;
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
            return ListPorts();
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
    return RunService(path, o);
}
