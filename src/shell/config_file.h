#pragma once
#include <string>
#include <string_view>

#include "shell/panel_config.h"

namespace norvex {

// "NorvexPanel.cfg" in the directory of the running executable; the working directory plays
// no part.  Empty when the executable's path cannot be found.
std::string DefaultPanelConfigPath();

// The configuration in the file at path.  A missing, unreadable or empty file gives empty
// values and no groups, without complaint.
PanelConfig LoadPanelConfig(const std::string& path);

enum class ConfigSaveResult {
    kOk,
    kCannotCreate,  // nothing written; the old file, if any, is untouched
    kWriteFailed,   // writing, flushing or replacing failed; the old file is untouched
};

// Writes the configuration beside the old file, flushes it to disk and renames it over the
// old one, so that a failed or interrupted save never leaves a truncated file.  The file holds
// group passwords: it is readable and writable by its owner only (0600).
ConfigSaveResult SavePanelConfig(const std::string& path, const PanelConfig& config,
                                 int groupIndex);

// What the panel shows when the file cannot be created.
inline constexpr std::string_view kConfigSaveFailedText = "电脑错误：配置保存失败！";

}  // namespace norvex
