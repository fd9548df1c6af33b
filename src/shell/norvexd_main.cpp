// norvexd: the service without the panel.  Loads the configuration, runs the Start action once
// as the panel does when it opens, prints what the panel would show on stderr, and treats
// SIGINT/SIGTERM as a confirmed stop.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

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

// Runs the status timer and waits for the run's end, turning the first SIGINT/SIGTERM into a
// stop request.  Returns whether the stop was requested (rather than the run ending by itself).
bool RunUntilEngineEnds(ServiceControl& control, const sigset_t& stopSignals) {
    auto nextTick = Clock::now() + kTimerPeriod;
    while (control.RunActive()) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(nextTick - Clock::now());
        timespec wait{0, 0};
        if (left.count() > 0) {
            wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        if (::sigtimedwait(&stopSignals, nullptr, &wait) > 0) {
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

int RunService(const std::string& configPath) {
    PanelConfig config = LoadPanelConfig(configPath);
    int groupIndex = ChooseCurrentGroup(config);
    StderrPanel panel;

    BrokerEndpoint broker = BrokerFromEnv();
    ServiceSite site{broker.host, broker.port, ProductIdFromEnv()};
    std::unique_ptr<GroupGateway> groups = MakeHttpGroupGateway();

    // Signals are taken synchronously by the main thread; every thread started from here on
    // inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ServiceControl control(panel, *groups, kAppName, site);
    ApplyOfflineOverride(control);

    panel.SetStartButton(kTextStartService, true);
    StartOutcome outcome = control.Start(config, groupIndex);
    if (outcome != StartOutcome::kStarted) {
        if (outcome == StartOutcome::kNoGroup) {
            std::fprintf(stderr, "norvexd: no group in %s; add one with norvex-group\n", configPath.c_str());
        }
        return 1;
    }
    return RunUntilEngineEnds(control, stopSignals) ? 0 : 1;
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
