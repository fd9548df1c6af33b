#pragma once
#include <string>
#include <vector>

#include "bridge/engine_config.h"
#include "shell/site_env.h"
#include "shell/tuning_options.h"

namespace norvex {

// The language of the panel's windows: the product's Chinese texts, or their English
// translation.
enum class PanelLanguage { kChinese, kEnglish };

// The panel's command line (after the toolkit has taken its own options).
struct PanelOptions {
    std::string configPath;  // --config FILE, else the user's configuration file
    bool help = false;
    // NORVEX_PROFILE, NORVEX_REORDER_WAIT_MS, NORVEX_GATHER_IDLE_MS, NORVEX_DROP_STALE_MS
    RelayTuning tuning;
    PanelLanguage language = PanelLanguage::kChinese;  // from the desktop's locale
    SiteEnv site;            // the broker, its TLS, the group service and the extra serial ports
    std::string runtimeDir;  // XDG_RUNTIME_DIR; empty when unset
    std::string error;       // not empty: the line (or one of those variables) could not be read
};

inline constexpr char kPanelUsage[] =
    "usage: norvex-panel [--config FILE]\n"
    "  --config FILE  configuration file (default: $XDG_CONFIG_HOME/norvex/NorvexPanel.cfg)\n"
    "Environment: NORVEX_PROFILE=request-response, NORVEX_REORDER_WAIT_MS, NORVEX_GATHER_IDLE_MS,\n"
    "NORVEX_DROP_STALE_MS: the timings of norvexd's --profile, --reorder-wait, --gather-idle and\n"
    "--drop-stale.\n";

// args without the program name; the environment through env (the process's when none given).
PanelOptions ParsePanelOptions(const std::vector<std::string>& args);
PanelOptions ParsePanelOptions(const std::vector<std::string>& args, const EnvLookup& env);

// The language from the values of LANGUAGE, LC_ALL, LC_MESSAGES and LANG (nullptr: unset), as
// gettext reads them: a non-empty LANGUAGE (a colon list) decides unless the locale is C or
// POSIX; else the first non-empty of LC_ALL, LC_MESSAGES, LANG.  English only for "en..."; every
// other language, and the C locale, keeps the Chinese.
PanelLanguage ChoosePanelLanguage(const char* language, const char* lcAll, const char* lcMessages,
                                  const char* lang);
// The same through env.
PanelLanguage PanelLanguageFrom(const EnvLookup& env);

}  // namespace norvex
