#pragma once
#include <string>

#include "bridge/engine_config.h"
#include "bridge/net_port.h"
#include "shell/site_env.h"
#include "shell/tuning_options.h"

namespace norvex {

struct NorvexdOptions {
    enum class Action { kRun, kListPorts, kHelp, kVersion, kBadUsage };
    Action action = Action::kRun;
    std::string configPath;  // empty: NorvexPanel.cfg beside the executable
    // --virtual-port PATH: the network-side port becomes "pty:PATH", whatever the configuration
    // names; empty: the configuration's port
    std::string virtualPort;
    VirtualPortOptions virtualPortAccess;  // --virtual-port-group, --virtual-port-mode
    int statsIntervalS = 0;                // --stats-interval; 0: only on SIGUSR1 and at exit
    bool trace = false;                    // --trace, or --trace-file
    std::string traceFile;                 // empty: the trace goes to stderr
    std::string metricsFile;               // empty: no metrics file
    RelayTuning tuning;  // --profile and its timings over the NORVEX_* ones; default: all 0
    SiteEnv site;        // the broker, its TLS, the group service and the extra serial ports
    // NORVEX_RELAY_OFFLINE_MS, a test knob: a shorter offline limit, so that a silent relay
    // turns "×" in seconds; 0 (unset or not a number from 1 to 2^32-1): the usual limit
    uint32_t relayOfflineMs = 0;
    std::string error;  // for kBadUsage
};

// The command line over the environment's defaults (looked up through env; the process
// environment when none is given).
NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv);
NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv, const EnvLookup& env);

// The network-side port a run uses: "pty:PATH" under --virtual-port, else configured.
std::string NetPortName(const NorvexdOptions& options, const std::string& configured);

extern const char kNorvexdUsage[];

}  // namespace norvex
