#pragma once
#include <string>

namespace norvex {

struct NorvexdOptions {
    enum class Action { kRun, kListPorts, kHelp, kVersion, kBadUsage };
    Action action = Action::kRun;
    std::string configPath;  // empty: NorvexPanel.cfg beside the executable
    std::string error;       // for kBadUsage
};

NorvexdOptions ParseNorvexdOptions(int argc, const char* const* argv);

extern const char kNorvexdUsage[];

}  // namespace norvex
