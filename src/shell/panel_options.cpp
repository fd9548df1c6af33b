#include "shell/panel_options.h"

#include <string_view>

#include "shell/config_location.h"

namespace norvex {
namespace {

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

PanelLanguage LanguageOf(std::string_view name) {
    return name.starts_with("en") ? PanelLanguage::kEnglish : PanelLanguage::kChinese;
}

}  // namespace

PanelLanguage ChoosePanelLanguage(const char* language, const char* lcAll, const char* lcMessages,
                                  const char* lang) {
    const char* locale = Set(lcAll) ? lcAll : Set(lcMessages) ? lcMessages : lang;
    if (!Set(locale)) locale = "C";
    const std::string_view localeName = locale;
    const bool plain = localeName == "C" || localeName == "POSIX" || localeName.starts_with("C.");
    if (Set(language) && !plain) {
        // the first entry there is a text for: English, or Chinese (the texts' own language)
        std::string_view list = language;
        while (!list.empty()) {
            const size_t colon = list.find(':');
            const std::string_view entry = list.substr(0, colon);
            if (entry.starts_with("en")) return PanelLanguage::kEnglish;
            if (entry.starts_with("zh")) return PanelLanguage::kChinese;
            list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        }
        return PanelLanguage::kChinese;
    }
    return LanguageOf(localeName);
}

PanelLanguage PanelLanguageFrom(const EnvLookup& env) {
    return ChoosePanelLanguage(env("LANGUAGE"), env("LC_ALL"), env("LC_MESSAGES"), env("LANG"));
}

PanelOptions ParsePanelOptions(const std::vector<std::string>& args) {
    return ParsePanelOptions(args, ProcessEnv);
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
    o.language = PanelLanguageFrom(env);
    o.site = ReadSiteEnv(env);
    if (const char* dir = env("XDG_RUNTIME_DIR")) o.runtimeDir = dir;
    if (o.configPath.empty()) {
        o.configPath = UserPanelConfigPath(env("XDG_CONFIG_HOME"), env("HOME"));
        if (o.configPath.empty()) o.error = "no HOME or XDG_CONFIG_HOME: give --config FILE";
    }
    return o;
}

}  // namespace norvex
