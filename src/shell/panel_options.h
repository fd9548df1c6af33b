#pragma once
#include <string>
#include <vector>

namespace norvex {

// The panel's command line (after the toolkit has taken its own options).
struct PanelOptions {
    std::string configPath;  // --config FILE, else the user's configuration file
    bool help = false;
    std::string error;  // not empty: the line could not be read
};

inline constexpr char kPanelUsage[] =
    "usage: norvex-panel [--config FILE]\n"
    "  --config FILE  configuration file (default: $XDG_CONFIG_HOME/norvex/NorvexPanel.cfg)\n";

// args without the program name.
PanelOptions ParsePanelOptions(const std::vector<std::string>& args);

}  // namespace norvex
