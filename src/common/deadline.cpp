#include "common/deadline.h"

#include <algorithm>
#include <climits>

namespace norvex {

int MsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, INT_MAX));
}

}  // namespace norvex
