#include "shell/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errno_util.h"
#include "common/unique_fd.h"

namespace norvex {
namespace {

// A configuration is a few hundred bytes; anything past this is not ours to load whole.
constexpr size_t kMaxConfigBytes = 4u << 20;

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

bool ReadAll(int fd, std::string& out) {
    char buf[8192];
    while (out.size() < kMaxConfigBytes) {
        ssize_t n = RetryOnEintr([&] { return ::read(fd, buf, sizeof buf); });
        if (n == 0) return true;
        if (n < 0) return false;
        out.append(buf, static_cast<size_t>(n));
    }
    return true;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n =
            RetryOnEintr([&] { return ::write(fd, data.data() + done, data.size() - done); });
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The rename is only durable once the directory entry is on disk too.
void SyncDirectory(const std::string& dir) {
    UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (d) ::fsync(d.Get());
}

}  // namespace

std::string DefaultPanelConfigPath() {
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return DirectoryOf(std::string(buf, static_cast<size_t>(n))) +
           std::string(kPanelConfigFileName);
}

PanelConfig LoadPanelConfig(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string bytes;
    if (!fd || !ReadAll(fd.Get(), bytes)) return {};
    return ParsePanelConfig(bytes);
}

ConfigSaveResult SavePanelConfig(const std::string& path, const PanelConfig& config,
                                 int groupIndex) {
    std::string tmp = path + ".XXXXXX";
    // mkstemp creates the file 0600 whatever the umask
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd) return ConfigSaveResult::kCannotCreate;
    bool ok = ::fchmod(fd.Get(), S_IRUSR | S_IWUSR) == 0 &&
              WriteAll(fd.Get(), FormatPanelConfig(config, groupIndex)) && ::fsync(fd.Get()) == 0 &&
              fd.Close() && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return ConfigSaveResult::kWriteFailed;
    }
    SyncDirectory(DirectoryOf(path));
    return ConfigSaveResult::kOk;
}

}  // namespace norvex
