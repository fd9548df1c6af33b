#include "shell/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/errno_util.h"
#include "common/unique_fd.h"
#include "shell/file_target.h"

namespace norvex {

namespace {

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view content, std::string* error) {
    std::string reason;
    std::string target = ResolveWriteTarget(path, &reason);
    if (target.empty()) {
        *error = path + ": not replaced (" + reason + ")";
        return false;
    }
    std::string tmp = target + ".XXXXXX";
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd) {
        const int err = errno;
        *error = path + ": cannot create a file beside it (" + ErrnoText(err) + ")";
        return false;
    }
    bool ok = ::fchmod(fd.Get(), 0644) == 0 && WriteAll(fd.Get(), content) && fd.Close() &&
              ::rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) {
        const int err = errno;
        *error = path + ": cannot write it (" + ErrnoText(err) + ")";
        ::unlink(tmp.c_str());
    }
    return ok;
}

}  // namespace norvex
