#include "shell/tuning_options.h"

#include <cerrno>
#include <cstdlib>

namespace norvex {

namespace {

struct Timing {
    std::string_view option;
    const char* env;
    uint32_t max;
    std::optional<uint32_t> TuningChoice::*field;
};

constexpr Timing kTimings[] = {
    {"--reorder-wait", "NORVEX_REORDER_WAIT_MS", 180000, &TuningChoice::reorderWaitMs},
    {"--gather-idle", "NORVEX_GATHER_IDLE_MS", 1000, &TuningChoice::gatherIdleMs},
    {"--drop-stale", "NORVEX_DROP_STALE_MS", 3600000, &TuningChoice::dropStaleMs},
};

constexpr std::string_view kProfileName = "request-response";

std::optional<uint32_t> ParseMs(const std::string& text, uint32_t max) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < 1 || v > max) return std::nullopt;
    return static_cast<uint32_t>(v);
}

std::string TakeTiming(const Timing& t, std::string_view shownAs, const std::string& value,
                       TuningChoice& c) {
    std::optional<uint32_t> ms = ParseMs(value, t.max);
    if (!ms) {
        return std::string(shownAs) + " needs milliseconds from 1 to " + std::to_string(t.max) +
               ", not " + value;
    }
    c.*t.field = ms;
    return {};
}

std::string TakeProfile(std::string_view shownAs, const std::string& value, TuningChoice& c) {
    if (value != kProfileName) {
        return std::string(shownAs) + " knows one profile, " + std::string(kProfileName) +
               ", not " + value;
    }
    c.requestResponse = true;
    return {};
}

void Apply(const TuningChoice& c, RelayTuning& t) {
    if (c.requestResponse) t = kRequestResponseTuning;
    if (c.reorderWaitMs) t.reorderWaitMs = *c.reorderWaitMs;
    if (c.gatherIdleMs) t.gatherIdleMs = *c.gatherIdleMs;
    if (c.dropStaleMs) t.dropStaleMs = *c.dropStaleMs;
}

}  // namespace

bool IsTuningOption(std::string_view name) {
    if (name == "--profile") return true;
    for (const Timing& t : kTimings) {
        if (name == t.option) return true;
    }
    return false;
}

std::string TakeTuningOption(std::string_view name, const std::string& value, TuningChoice& c) {
    if (name == "--profile") return TakeProfile(name, value, c);
    for (const Timing& t : kTimings) {
        if (name == t.option) return TakeTiming(t, name, value, c);
    }
    return "unknown option " + std::string(name);
}

std::string TuningFromEnv(const EnvLookup& env, TuningChoice& c) {
    const char* profile = env("NORVEX_PROFILE");
    if (profile && *profile) {
        std::string why = TakeProfile("NORVEX_PROFILE", profile, c);
        if (!why.empty()) return why;
    }
    for (const Timing& t : kTimings) {
        const char* v = env(t.env);
        if (!v || !*v) continue;
        std::string why = TakeTiming(t, t.env, v, c);
        if (!why.empty()) return why;
    }
    return {};
}

RelayTuning ResolveTuning(const TuningChoice& base, const TuningChoice& over) {
    RelayTuning t;
    Apply(base, t);
    // a profile on the command line replaces what the environment said
    Apply(over, t);
    return t;
}

}  // namespace norvex
