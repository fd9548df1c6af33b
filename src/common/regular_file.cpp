#include "common/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/errno_util.h"

namespace norvex {

std::string NotRegularText(mode_t mode) {
    if (S_ISDIR(mode)) return ErrnoText(EISDIR);
    const char* kind = S_ISFIFO(mode)   ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "of an unknown kind";
    return std::string("is ") + kind + ", not a regular file";
}

UniqueFd OpenRegularForReading(const std::string& path, bool* missing, std::string* reason) {
    *missing = false;
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (!fd) {
        int err = errno;
        *missing = err == ENOENT;
        // a socket cannot be opened at all: name what it is rather than "No such device"
        bool named = err == ENXIO && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
        *reason = named ? NotRegularText(st.st_mode) : ErrnoText(err);
        return fd;
    }
    if (::fstat(fd.Get(), &st) != 0) {
        *reason = ErrnoText(errno);
        return UniqueFd();
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = NotRegularText(st.st_mode);
        return UniqueFd();
    }
    return fd;
}

}  // namespace norvex
