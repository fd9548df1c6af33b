#pragma once
#include <optional>
#include <string>
#include <vector>

#include "shell/panel_config.h"

namespace norvex {

// What norvexd starts from, and what it tells the user about the file on the way.
struct ServiceConfigLoad {
    std::optional<PanelConfig> config;  // empty: the service does not start
    std::vector<std::string> lines;     // for stderr, each naming the file and the cause
};

// The configuration at path as norvexd takes it.  A missing file gives no groups (the caller
// advises norvex-group); a file that cannot be read, is no regular file, or holds a value longer
// than the file allows is refused with the reason; a malformed line is reported and the groups
// before it are used, as the panel would.
ServiceConfigLoad LoadServiceConfig(const std::string& path);

}  // namespace norvex
