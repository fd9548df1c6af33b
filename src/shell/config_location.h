#pragma once
#include <string>

namespace norvex {

// The desktop user's configuration file: $XDG_CONFIG_HOME/norvex/NorvexPanel.cfg, or
// $HOME/.config/norvex/NorvexPanel.cfg when XDG_CONFIG_HOME is unset, empty or relative.
// Empty when neither gives an absolute directory.
std::string UserPanelConfigPath(const char* xdgConfigHome, const char* home);

// Creates the directory that holds `filePath`, with its missing parents, each readable by its
// owner only (0700: the file holds group passwords).  An existing directory is left as it is.
// False with errno set when it cannot be made.
bool EnsureConfigDirectory(const std::string& filePath);

}  // namespace norvex
