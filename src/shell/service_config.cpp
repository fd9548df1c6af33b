#include "shell/service_config.h"

#include "shell/config_file.h"

namespace norvex {

ServiceConfigLoad LoadServiceConfig(const std::string& path) {
    using Status = ConfigFileRead::Status;
    ServiceConfigLoad out;
    ConfigFileRead read = ReadPanelConfigFile(path);
    const std::string prefix = "norvexd: " + path + ": ";
    if (read.status == Status::kUnreadable) {
        out.lines.push_back(prefix + read.problem);
        return out;
    }
    if (read.status == Status::kIncomplete) {
        out.lines.push_back(prefix + read.problem + "; the groups from there on are not used");
    }
    // refused here, before any of it travels in a web request or a topic name
    std::string overlong = OverlongValue(read.config);
    if (!overlong.empty()) {
        out.lines.push_back(prefix + overlong);
        return out;
    }
    out.config = std::move(read.config);
    return out;
}

}  // namespace norvex
