#include "shell/panel_options.h"

#include <cstdlib>

#include "shell/config_location.h"

namespace norvex {

PanelOptions ParsePanelOptions(const std::vector<std::string>& args) {
    return ParsePanelOptions(args, [](const char* name) { return std::getenv(name); });
}

PanelOptions ParsePanelOptions(const std::vector<std::string>& args, const EnvLookup& env) {
    PanelOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--config" && i + 1 < args.size() && !args[i + 1].empty()) {
            o.configPath = args[++i];
        } else if (a.rfind("--config=", 0) == 0 && a.size() > 9) {
            o.configPath = a.substr(9);
        } else {
            o.error = "unknown or incomplete option: " + a;
            return o;
        }
    }
    if (!o.help) {
        TuningChoice choice;
        o.error = TuningFromEnv(env, choice);
        if (!o.error.empty()) return o;
        o.tuning = ResolveTuning(choice);
    }
    if (o.configPath.empty()) {
        o.configPath = UserPanelConfigPath();
        if (o.configPath.empty()) o.error = "no HOME or XDG_CONFIG_HOME: give --config FILE";
    }
    return o;
}

}  // namespace norvex
