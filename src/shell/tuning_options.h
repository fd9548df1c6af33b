#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "bridge/engine_config.h"
#include "shell/env_lookup.h"

namespace norvex {

// The request/response profile and its three timings, as a command line or the environment
// gives them.  A value named on its own wins over the profile's, whatever the order.
struct TuningChoice {
    bool requestResponse = false;  // --profile request-response
    std::optional<uint32_t> reorderWaitMs;
    std::optional<uint32_t> gatherIdleMs;
    std::optional<uint32_t> dropStaleMs;
};

// What the profile sets.
inline constexpr RelayTuning kRequestResponseTuning{
    .reorderWaitMs = 100, .gatherIdleMs = 2, .dropStaleMs = 1000};

// True for the option names that take a tuning value ("--profile", "--reorder-wait", ...).
bool IsTuningOption(std::string_view name);
// Stores one option's value; empty when accepted, else why not (naming the option).
std::string TakeTuningOption(std::string_view name, const std::string& value, TuningChoice& c);

// The same from the environment: NORVEX_PROFILE, NORVEX_REORDER_WAIT_MS, NORVEX_GATHER_IDLE_MS,
// NORVEX_DROP_STALE_MS, looked up through `env` (unset or empty: not given).
std::string TuningFromEnv(const EnvLookup& env, TuningChoice& c);

// The engine's values: the defaults, then `base` (the environment), then `over` (the command
// line); within each the profile first and the single values over it.
RelayTuning ResolveTuning(const TuningChoice& base, const TuningChoice& over = {});

}  // namespace norvex
