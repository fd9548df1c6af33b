#pragma once
#include <sys/uio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace norvex {

// Drops n sent bytes from the gather list whose unsent part starts at entry first: entries sent
// whole are passed over, a partly sent one is advanced.  Returns the new first entry.  A partial
// send must be continued from exactly here, or the stream is corrupt.
inline size_t DropSent(iovec* left, size_t first, size_t n) {
    for (; n > 0; ++first) {
        size_t take = std::min(n, left[first].iov_len);
        left[first].iov_base = static_cast<uint8_t*>(left[first].iov_base) + take;
        left[first].iov_len -= take;
        n -= take;
        if (left[first].iov_len != 0) break;
    }
    return first;
}

}  // namespace norvex
