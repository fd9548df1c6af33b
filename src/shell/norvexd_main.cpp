// norvexd: the service without the panel.  Loads the configuration, runs the Start action once
// as the panel does when it opens, prints what the panel would show on stderr, and treats
// SIGINT/SIGTERM as a confirmed stop.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bridge/relay_session.h"
#include "bridge/service_context.h"
#include "bridge/site_env.h"
#include "shell/config_file.h"
#include "shell/group_gateway.h"
#include "shell/norvexd_options.h"
#include "shell/serial_ports.h"
#include "shell/service_control.h"
#include "shell/shell_texts.h"
#include "shell/stderr_panel.h"

namespace {

using namespace norvex;
using Clock = std::chrono::steady_clock;

constexpr char kAppName[] = "norvexd";
constexpr auto kTimerPeriod = std::chrono::milliseconds(1000);
// How often the main thread looks at the worker and the signals.
constexpr long kPollNs = 50 * 1000 * 1000;

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
    if (*end == '\0' && ms > 0 && ms <= 0xFFFFFFFFul) control.SetOfflineAfterMs(static_cast<uint32_t>(ms));
}

// Waits for the worker's end, running the status timer and turning the first SIGINT/SIGTERM
// into a stop request.  Returns whether the stop was requested (rather than the run ending).
bool RunUntilWorkerEnds(ServiceControl& control, const sigset_t& stopSignals) {
    bool stopRequested = false;
    auto nextTick = Clock::now() + kTimerPeriod;
    while (control.WorkerActive()) {
        timespec wait{0, kPollNs};
        int sig = ::sigtimedwait(&stopSignals, nullptr, &wait);
        if (sig > 0 && !stopRequested) {
            stopRequested = true;
            control.RequestStop();
        }
        if (Clock::now() >= nextTick) {
            control.OnTimer();
            nextTick += kTimerPeriod;
        }
    }
    control.JoinWorker();
    return stopRequested;
}

int RunService(const std::string& configPath) {
    PanelConfig config = LoadPanelConfig(configPath);
    int groupIndex = ChooseCurrentGroup(config);
    StderrPanel panel;

    static RelaySession session;  // lives as long as the process, as the MQTT session must
    if (!SetupRelaySession(session)) {
        panel.ShowMessage(kAppName, kTextSystemError);
        return 1;
    }
    ServiceContext ctx;
    BrokerEndpoint broker = BrokerFromEnv();
    ctx.brokerAddress = broker.host;
    ctx.brokerPort = broker.port;
    ctx.productId = ProductIdFromEnv();
    ctx.session = &session;

    std::unique_ptr<GroupGateway> groups = MakeHttpGroupGateway();
    ServiceControl control(ctx, panel, *groups, kAppName);
    ApplyOfflineOverride(control);

    // Signals are taken synchronously by the main thread; every thread started from here on
    // inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    panel.SetStartButton(kTextStartService, true);
    StartOutcome outcome = control.Start(config, groupIndex);
    if (outcome != StartOutcome::kStarted) {
        if (outcome == StartOutcome::kNoGroup) {
            std::fprintf(stderr, "norvexd: no group in %s; add one with norvex-group\n", configPath.c_str());
        }
        return 1;
    }
    bool stopped = RunUntilWorkerEnds(control, stopSignals);
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
    return RunService(path);
}
