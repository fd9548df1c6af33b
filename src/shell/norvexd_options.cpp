#include "shell/norvexd_options.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace norvex {

const char kNorvexdUsage[] =
    "usage: norvexd [--config FILE] [OPTION...]   run the service for the configuration's current\n"
    "                                             group\n"
    "       norvexd --list-ports      list the serial ports this machine offers: port name,\n"
    "                                 driver and, for a link, the kernel name behind it\n"
    "       norvexd --help | --version\n"
    "\n"
    "Options:\n"
    "  --virtual-port PATH        make the network-side port a pseudo-terminal linked at PATH\n"
    "                             (in place of the configuration's port; a configured port name\n"
    "                             \"pty:PATH\" does the same); the user's program opens PATH\n"
    "  --virtual-port-group GROUP give the terminal to GROUP (a name or number)\n"
    "  --virtual-port-mode MODE   the terminal's permission bits, octal (default 0600)\n"
    "  --stats-interval N         print the \"stats:\" line every N seconds (it is also printed\n"
    "                             on SIGUSR1 and at exit)\n"
    "  --trace                    print every chunk of serial data on stderr, in hex\n"
    "  --trace-file FILE          the same, appended to FILE\n"
    "  --metrics-file PATH        keep PATH up to date (every 2 s) in the Prometheus text\n"
    "                             format, for the node_exporter textfile collector\n"
    "  --profile request-response\n"
    "                             timing for request/response protocols (Modbus RTU and the\n"
    "                             like): --reorder-wait 100 --gather-idle 2 --drop-stale 1000;\n"
    "                             each of those, given as well, overrides the profile's value\n"
    "  --reorder-wait MS          a relay packet held behind a missing one is written once it\n"
    "                             has waited MS (1-180000); the missing one is given up and\n"
    "                             counted (default: only when four wait, or after 180 s)\n"
    "  --gather-idle MS           serial input is published once the port has been quiet for MS\n"
    "                             (1-1000), or at 64 bytes (default: 20 ms after it was first\n"
    "                             seen)\n"
    "  --drop-stale MS            serial input that waited longer than MS (1-3600000) for the\n"
    "                             broker is discarded, and counted, when the link is back\n"
    "                             (default: all of it is sent then)\n"
    "                             The stats line and the metrics file count what these give up\n"
    "                             once there is any: \"N missing given up\" (relay packets the\n"
    "                             reorder wait gave up, as\n"
    "                             norvex_missing_given_up_total) and \"N B stale\" (serial\n"
    "                             bytes, as norvex_stale_dropped_bytes_total)\n"
    "\n"
    "The configuration defaults to NorvexPanel.cfg beside the executable; norvexd only reads it\n"
    "(norvex-group adds groups).  SIGINT or SIGTERM stops the service, also while its start-up\n"
    "web requests wait; the exit status is 0 after such a stop, nonzero when the service could\n"
    "not start or ended by itself.  SIGHUP stops the run in the same way (its lines, its stats\n"
    "line, the port closed), reads the configuration again and starts a new run from it, with\n"
    "the group's relay list fetched anew.\n"
    "Environment: NORVEX_BROKER (host:port, 127.0.0.1:6002), NORVEX_PRODUCT_ID (MQTT user),\n"
    "NORVEX_GROUP_SERVICE (host:port, 127.0.0.1:50001), NORVEX_SERIAL_PORTS (extra port paths\n"
    "or globs, colon-separated, such as socat's pty links: \"/tmp/ttyV*\").\n"
    "USB adapters are listed by their /dev/serial/by-id names, which stay with the adapter when\n"
    "it is plugged in again; a configured kernel name (/dev/ttyUSB0) keeps working as it is.\n"
    "NORVEX_PROFILE, NORVEX_REORDER_WAIT_MS, NORVEX_GATHER_IDLE_MS and NORVEX_DROP_STALE_MS give\n"
    "--profile and the three timings when the command line does not.\n";

namespace {

constexpr int kMaxStatsIntervalS = 86400;

bool ParseMode(std::string_view text, uint32_t& mode) {
    if (text.empty() || text.size() > 4) return false;
    uint32_t m = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '7') return false;
        m = m * 8 + static_cast<uint32_t>(ch - '0');
    }
    if (m > 0777) return false;
    mode = m;
    return true;
}

bool ParseSeconds(const std::string& text, int& seconds) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < 1 || v > kMaxStatsIntervalS) return false;
    seconds = static_cast<int>(v);
    return true;
}

// Stores one option's value; an empty result means it was accepted, else why not.
std::string TakeValue(std::string_view name, const std::string& value, NorvexdOptions& o,
                      TuningChoice& tuning) {
    if (value.empty()) return std::string(name) + " needs a value";
    if (IsTuningOption(name)) return TakeTuningOption(name, value, tuning);
    if (name == "--config") {
        o.configPath = value;
    } else if (name == "--virtual-port") {
        o.virtualPort = value;
    } else if (name == "--virtual-port-group") {
        o.virtualPortAccess.group = value;
    } else if (name == "--virtual-port-mode") {
        if (!ParseMode(value, o.virtualPortAccess.mode))
            return "--virtual-port-mode needs octal permission bits (at most 0777), not " + value;
    } else if (name == "--stats-interval") {
        if (!ParseSeconds(value, o.statsIntervalS))
            return "--stats-interval needs a number of seconds from 1 to 86400, not " + value;
    } else if (name == "--trace-file") {
        o.trace = true;
        o.traceFile = value;
    } else if (name == "--metrics-file") {
        o.metricsFile = value;
    }
    return {};
}

uint32_t OfflineMs(const char* v) {
    if (!v || !*v) return 0;
    char* end = nullptr;
    unsigned long ms = std::strtoul(v, &end, 10);
    return *end == '\0' && ms > 0 && ms <= 0xFFFFFFFFul ? static_cast<uint32_t>(ms) : 0;
}

bool TakesValue(std::string_view name) {
    for (std::string_view v :
         {"--config", "--virtual-port", "--virtual-port-group", "--virtual-port-mode",
          "--stats-interval", "--trace-file", "--metrics-file"}) {
        if (name == v) return true;
    }
    return IsTuningOption(name);
}

}  // namespace

NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv) {
    return ParseNorvexdOptions(argc, argv, ProcessEnv);
}

NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv, const EnvLookup& env) {
    NorvexdOptions o;
    TuningChoice fromEnv;
    TuningChoice fromLine;
    auto bad = [&o](std::string why) {
        o.action = NorvexdOptions::Action::kBadUsage;
        o.error = std::move(why);
        return o;
    };
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        size_t eq = a.find('=');
        std::string_view name = a.substr(0, eq);
        if (a.rfind("--", 0) == 0 && TakesValue(name)) {
            std::string value;
            if (eq != std::string_view::npos) {
                value = std::string(a.substr(eq + 1));
            } else if (i + 1 < argc && std::string_view(argv[i + 1]).rfind("--", 0) != 0) {
                // "--virtual-port --trace" lacks a path; it does not name one "--trace"
                value = argv[++i];
            }
            std::string why = TakeValue(name, value, o, fromLine);
            if (!why.empty()) return bad(why);
        } else if (a == "--help" || a == "-h") {
            o.action = NorvexdOptions::Action::kHelp;
        } else if (a == "--version") {
            o.action = NorvexdOptions::Action::kVersion;
        } else if (a == "--list-ports") {
            o.action = NorvexdOptions::Action::kListPorts;
        } else if (a == "--trace") {
            o.trace = true;
        } else {
            return bad("unknown option " + std::string(a));
        }
    }
    // the timings only matter for a run: --help works whatever the environment holds
    if (o.action == NorvexdOptions::Action::kRun) {
        std::string why = TuningFromEnv(env, fromEnv);
        if (!why.empty()) return bad(why);
    }
    o.site = ReadSiteEnv(env);
    o.relayOfflineMs = OfflineMs(env("NORVEX_RELAY_OFFLINE_MS"));
    o.tuning = ResolveTuning(fromEnv, fromLine);
    return o;
}

std::string NetPortName(const NorvexdOptions& options, const std::string& configured) {
    return options.virtualPort.empty() ? configured : "pty:" + options.virtualPort;
}

}  // namespace norvex
