#pragma once
#include <string>

#include "bridge/net_port.h"

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
    std::string error;                     // for kBadUsage
};

NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv);

// The network-side port a run uses: "pty:PATH" under --virtual-port, else configured.
std::string NetPortName(const NorvexdOptions& options, const std::string& configured);

extern const char kNorvexdUsage[];

}  // namespace norvex
