#include "bridge/terminal_link.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "common/errno_util.h"

namespace norvex {

namespace {

// Unix98 pseudo-terminal slaves (devpts) use majors 136 to 143.
constexpr unsigned kPtsMajorFirst = 136;
constexpr unsigned kPtsMajorLast = 143;

bool Fail(std::string* error, const std::string& path, const std::string& what, int err = 0) {
    *error = path + ": " + what;
    if (err != 0) *error += " (" + ErrnoText(err) + ")";
    return false;
}

std::optional<std::string> ReadLink(const std::string& path) {
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
}

// Creates the missing directories above path, each 0700; existing ones keep their mode.
bool MakeParents(const std::string& path, std::string* error) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string dir = path.substr(0, slash);
        if (::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST) continue;
        return Fail(error, path, "cannot create the directory " + dir, errno);
    }
    return true;
}

// The link's directory must be this user's (or root's) and closed to others, unless sticky:
// otherwise another user could swap the link for one of their own under us.
bool SafeDirectory(const std::string& path, std::string* error) {
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0) {
        return Fail(error, path, "cannot look at the directory " + dir, errno);
    }
    bool owner = st.st_uid == ::geteuid() || st.st_uid == 0;
    bool openToOthers = (st.st_mode & 0022) != 0 && (st.st_mode & S_ISVTX) == 0;
    if (!S_ISDIR(st.st_mode) || !owner || openToOthers) {
        return Fail(
            error, path,
            "the directory " + dir + " must belong to this user (or root) and be closed to others");
    }
    return true;
}

bool IsPseudoTerminal(const struct stat& st) {
    unsigned major = ::major(st.st_rdev);
    return S_ISCHR(st.st_mode) && major >= kPtsMajorFirst && major <= kPtsMajorLast;
}

// A link whose target (followed) is a live pseudo-terminal of this user.
bool LinksToLiveTerminalOfOurs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    return IsPseudoTerminal(st) && st.st_uid == ::geteuid();
}

// What a service's leftover link looks like: it names a terminal under /dev/pts that is gone or
// still a pseudo-terminal.  A link to anything else is some user's, and theirs to keep.
bool LooksLikeOurLeftover(const std::string& path) {
    std::optional<std::string> to = ReadLink(path);
    if (!to || to->rfind("/dev/pts/", 0) != 0) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
    return IsPseudoTerminal(st);
}

}  // namespace

bool PlaceTerminalLink(const std::string& path, const std::string& target, std::string* error) {
    if (path.empty() || path.back() == '/') return Fail(error, path, "not a file name for a link");
    if (!MakeParents(path, error) || !SafeDirectory(path, error)) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode))
            return Fail(error, path, "exists and is not a symbolic link; it is left untouched");
        if (LinksToLiveTerminalOfOurs(path)) {
            std::string to = ReadLink(path).value_or("?");
            return Fail(error, path,
                        "already links to " + to +
                            ", a terminal of this user still in use (another service?); remove "
                            "the link if it is not");
        }
        if (!LooksLikeOurLeftover(path)) {
            std::string to = ReadLink(path).value_or("?");
            return Fail(error, path,
                        "is a link to " + to + ", not to a terminal; it is left untouched");
        }
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return Fail(error, path, "cannot replace the stale link", errno);
    } else if (errno != ENOENT) {
        return Fail(error, path, "cannot look at it", errno);
    }
    // symlink() never replaces anything that appeared meanwhile
    if (::symlink(target.c_str(), path.c_str()) != 0)
        return Fail(error, path, "cannot make the link", errno);
    return true;
}

void RemoveTerminalLinkIfOurs(const std::string& path, const std::string& target) {
    if (ReadLink(path) == target) ::unlink(path.c_str());
}

}  // namespace norvex
