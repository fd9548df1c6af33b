#include "shell/config_location.h"

#include <sys/stat.h>

#include <cerrno>
#include <string_view>

#include "shell/panel_config.h"

namespace norvex {
namespace {

bool Absolute(const char* dir) {
    return dir != nullptr && dir[0] == '/';
}

// "/" becomes empty, so that a path appended with its own slash stays clean.
std::string WithoutTrailingSlashes(std::string dir) {
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    return dir;
}

bool MakeDirectory(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;  // "File exists" would not say what is wrong with it
    return false;
}

}  // namespace

std::string UserPanelConfigPath(const char* xdgConfigHome, const char* home) {
    std::string base;
    if (Absolute(xdgConfigHome)) {
        base = WithoutTrailingSlashes(xdgConfigHome);
    } else if (Absolute(home)) {
        base = WithoutTrailingSlashes(home) + "/.config";
    } else {
        return {};
    }
    return base + "/norvex/" + std::string(kPanelConfigFileName);
}

bool EnsureConfigDirectory(const std::string& filePath) {
    size_t slash = filePath.rfind('/');
    if (slash == std::string::npos || slash == 0) return true;  // the working or root directory
    std::string dir = filePath.substr(0, slash);
    for (size_t pos = dir.find('/', 1); pos != std::string::npos; pos = dir.find('/', pos + 1)) {
        if (!MakeDirectory(dir.substr(0, pos))) return false;
    }
    return MakeDirectory(dir);
}

}  // namespace norvex
