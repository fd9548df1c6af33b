#pragma once
#include <string>
#include <string_view>

#include "shell/panel_config.h"

namespace norvex {

// "NorvexPanel.cfg" in the directory of the running executable; the working directory plays
// no part.  Empty when the executable's path cannot be found.
std::string DefaultPanelConfigPath();

// What reading the file at path gave.
struct ConfigFileRead {
    enum class Status {
        kOk,          // every byte of the file is in config
        kMissing,     // nothing at path: config is empty
        kUnreadable,  // not opened or not read (problem says why): config is empty
        kIncomplete,  // read, but problem names a line whose content is not all in config
    };
    Status status = Status::kMissing;
    PanelConfig config;
    std::string problem;  // the system's reason or the line, without the path; empty for kOk
};

// Reads the file at path without waiting on it: anything but a regular file (a FIFO, a device,
// a directory) is refused at once, as is a file too large to be a configuration.
ConfigFileRead ReadPanelConfigFile(const std::string& path);

// The configuration in the file at path.  A missing, unreadable or empty file gives empty
// values and no groups, without complaint; a malformed line ends the group list.
PanelConfig LoadPanelConfig(const std::string& path);

enum class ConfigSaveResult {
    kOk,
    kCannotCreate,  // nothing written; the old file, if any, is untouched
    kWriteFailed,   // writing, flushing or replacing failed; the old file is untouched
};

// Writes the configuration beside the old file, flushes it to disk and renames it over the
// old one, so that a failed or interrupted save never leaves a truncated file.  The file holds
// group passwords: it is readable and writable by its owner only (0600).  A symbolic link is
// kept: the file it leads to is replaced, in that file's directory.  Anything at path that is
// not a regular file (a device, a FIFO, a directory) is never replaced: kCannotCreate.
// *reason, when given, receives the system's reason on failure.
ConfigSaveResult SavePanelConfig(const std::string& path, const PanelConfig& config, int groupIndex,
                                 std::string* reason);
ConfigSaveResult SavePanelConfig(const std::string& path, const PanelConfig& config,
                                 int groupIndex);

// What the panel shows when the file cannot be created.
inline constexpr std::string_view kConfigSaveFailedText = "电脑错误：配置保存失败！";

}  // namespace norvex
