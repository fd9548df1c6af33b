#include "shell/norvexd_options.h"

#include <string_view>

namespace norvex {

const char kNorvexdUsage[] =
    "usage: norvexd [--config FILE]   run the service for the configuration's current group\n"
    "       norvexd --list-ports      list the serial ports this machine offers\n"
    "       norvexd --help | --version\n"
    "\n"
    "The configuration defaults to NorvexPanel.cfg beside the executable; norvexd only reads it\n"
    "(norvex-group adds groups).  SIGINT or SIGTERM stops the service; the exit status is 0\n"
    "after such a stop, nonzero when the service could not start or ended by itself.\n"
    "Environment: NORVEX_BROKER (host:port, 127.0.0.1:6002), NORVEX_PRODUCT_ID (MQTT user),\n"
    "NORVEX_GROUP_SERVICE (host:port, 127.0.0.1:50001), NORVEX_SERIAL_PORTS (extra port paths\n"
    "or globs, colon-separated).\n";

NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv) {
    NorvexdOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            o.action = NorvexdOptions::Action::kHelp;
        } else if (a == "--version") {
            o.action = NorvexdOptions::Action::kVersion;
        } else if (a == "--list-ports") {
            o.action = NorvexdOptions::Action::kListPorts;
        } else if (a == "--config" && i + 1 < argc && argv[i + 1][0] != '\0') {
            o.configPath = argv[++i];
        } else if (a.rfind("--config=", 0) == 0 && a.size() > 9) {
            o.configPath = std::string(a.substr(9));
        } else {
            o.action = NorvexdOptions::Action::kBadUsage;
            o.error = a == "--config" ? "--config needs a file name" : "unknown option " + std::string(a);
            return o;
        }
    }
    return o;
}

}  // namespace norvex
