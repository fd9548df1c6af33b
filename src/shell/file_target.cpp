#include "shell/file_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/errno_util.h"
#include "common/regular_file.h"

namespace norvex {
namespace {

// As many links as the kernel follows before it reports a loop.
constexpr int kMaxLinks = 40;

std::string LinkTarget(const std::string& link, std::string* reason) {
    char buf[4096];
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) {
        *reason = ErrnoText(n < 0 ? errno : n == 0 ? ENOENT : ENAMETOOLONG);
        return {};
    }
    std::string target(buf, static_cast<size_t>(n));
    if (target.starts_with('/')) return target;
    size_t slash = link.rfind('/');
    return slash == std::string::npos ? target : link.substr(0, slash + 1) + target;
}

}  // namespace

std::string ResolveWriteTarget(const std::string& path, std::string* reason) {
    std::string at = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0) {
            if (errno == ENOENT) return at;
            *reason = ErrnoText(errno);
            return {};
        }
        if (S_ISREG(st.st_mode)) {
            if (::access(at.c_str(), W_OK) == 0) return at;
            *reason = ErrnoText(errno);
            return {};
        }
        if (!S_ISLNK(st.st_mode)) {
            *reason = NotRegularText(st.st_mode);
            return {};
        }
        at = LinkTarget(at, reason);
        if (at.empty()) return {};
    }
    *reason = ErrnoText(ELOOP);
    return {};
}

}  // namespace norvex
