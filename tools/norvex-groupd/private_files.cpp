#include "private_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "common/errno_util.h"
#include "common/unique_fd.h"

namespace norvex::groupd {

namespace {

constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateFolder = 0700;

bool Fail(std::string* error, const std::string& what, int err) {
    *error = what + ": " + ErrnoText(err);
    return false;
}

bool MakeFolders(const std::string& path, std::string* error) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string dir = path.substr(0, slash);
        if (::mkdir(dir.c_str(), kPrivateFolder) == 0 || errno == EEXIST) continue;
        return Fail(error, "cannot create the folder " + dir, errno);
    }
    return true;
}

// Narrows one file if it exists; the descriptor is the one checked, so a swap cannot misdirect it.
bool Narrow(const std::string& file, bool create, std::string* error) {
    // non-blocking: a fifo put there must not hang the start
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (create ? O_CREAT : 0);
    UniqueFd fd(::open(file.c_str(), flags, kPrivateFile));
    if (!fd) return errno == ENOENT && !create ? true : Fail(error, "cannot open " + file, errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Fail(error, "cannot look at " + file, errno);
    if (!S_ISREG(st.st_mode) || (st.st_mode & 077) == 0) return true;
    const mode_t narrowed = st.st_mode & 0700;
    if (::fchmod(fd.Get(), narrowed) != 0) {
        return Fail(error, file + " is open to other users and cannot be narrowed", errno);
    }
    std::fprintf(stderr, "norvex-groupd: %s was open to other users (mode %04o), now %04o\n",
                 file.c_str(), static_cast<unsigned>(st.st_mode & 07777),
                 static_cast<unsigned>(narrowed));
    return true;
}

}  // namespace

bool PreparePrivateDatabase(const std::string& path, std::string* error) {
    // SQLite's names for a database without a file
    if (path.empty() || path == ":memory:") return true;
    if (!MakeFolders(path, error) || !Narrow(path, true, error)) return false;
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        if (!Narrow(path + suffix, false, error)) return false;
    }
    return true;
}

}  // namespace norvex::groupd
