#include "common/errno_util.h"

#include <cstring>

namespace norvex {

namespace {

// strerror_r comes in two shapes: the GNU one returns the text, the POSIX one fills buf.
[[maybe_unused]] const char* PickText(const char* text, const char*) {
    return text;
}
[[maybe_unused]] const char* PickText(int result, const char* buf) {
    return result == 0 ? buf : "Unknown error";
}

}  // namespace

std::string ErrnoText(int err) {
    char buf[256] = {0};
    return PickText(::strerror_r(err, buf, sizeof buf), buf);
}

}  // namespace norvex
