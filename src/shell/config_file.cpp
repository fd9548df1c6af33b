#include "shell/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errno_util.h"
#include "common/regular_file.h"
#include "common/unique_fd.h"
#include "shell/file_target.h"

namespace norvex {
namespace {

// A configuration is a few hundred bytes; anything past this is not ours to load whole.
constexpr size_t kMaxConfigBytes = 4u << 20;

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// The whole file, or the reason it could not be had: a read error, or more than a
// configuration can hold.
bool ReadAll(int fd, std::string& out, std::string* reason) {
    char buf[8192];
    for (;;) {
        ssize_t n = RetryOnEintr([&] { return ::read(fd, buf, sizeof buf); });
        if (n == 0) return true;
        if (n < 0) {
            *reason = ErrnoText(errno);
            return false;
        }
        out.append(buf, static_cast<size_t>(n));
        if (out.size() > kMaxConfigBytes) {
            *reason = "is larger than " + std::to_string(kMaxConfigBytes >> 20) +
                      " MiB: not a configuration";
            return false;
        }
    }
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

ConfigFileRead ReadPanelConfigFile(const std::string& path) {
    using Status = ConfigFileRead::Status;
    ConfigFileRead out;
    bool missing = false;
    UniqueFd fd = OpenRegularForReading(path, &missing, &out.problem);
    if (!fd) {
        out.status = missing ? Status::kMissing : Status::kUnreadable;
        if (missing) out.problem.clear();
        return out;
    }
    std::string bytes;
    if (!ReadAll(fd.Get(), bytes, &out.problem)) {
        out.status = Status::kUnreadable;
        return out;
    }
    PanelConfigText text = ReadPanelConfigText(bytes);
    out.config = std::move(text.config);
    out.problem = std::move(text.problem);
    out.status = text.badLine == 0 ? Status::kOk : Status::kIncomplete;
    return out;
}

PanelConfig LoadPanelConfig(const std::string& path) {
    return ReadPanelConfigFile(path).config;
}

ConfigSaveResult SavePanelConfig(const std::string& path, const PanelConfig& config, int groupIndex,
                                 std::string* reason) {
    std::string ignored;
    if (!reason) reason = &ignored;
    std::string target = ResolveWriteTarget(path, reason);
    if (target.empty()) return ConfigSaveResult::kCannotCreate;
    std::string tmp = target + ".XXXXXX";
    // mkstemp creates the file 0600 whatever the umask
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd) {
        *reason = ErrnoText(errno);
        return ConfigSaveResult::kCannotCreate;
    }
    bool ok = ::fchmod(fd.Get(), S_IRUSR | S_IWUSR) == 0 &&
              WriteAll(fd.Get(), FormatPanelConfig(config, groupIndex)) && ::fsync(fd.Get()) == 0 &&
              fd.Close() && ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        *reason = ErrnoText(errno);
        ::unlink(tmp.c_str());
        return ConfigSaveResult::kWriteFailed;
    }
    SyncDirectory(DirectoryOf(target));
    return ConfigSaveResult::kOk;
}

ConfigSaveResult SavePanelConfig(const std::string& path, const PanelConfig& config,
                                 int groupIndex) {
    return SavePanelConfig(path, config, groupIndex, nullptr);
}

}  // namespace norvex
