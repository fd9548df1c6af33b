#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <vector>

#include "mqtt/mqtt_session.h"

namespace norvex {

// The codec's (data, length) pairs as the iovec array sendmsg takes.  A packet is a handful of
// chunks, a run of packets a few dozen: no allocation on the way out below 64.
class IoVecArray {
public:
    IoVecArray(const mqtt::IoVec* pairs, int32_t count) {
        if (count > kInline) {
            big_.resize(static_cast<size_t>(count));
            vec_ = big_.data();
        }
        for (int32_t i = 0; i < count; ++i) {
            vec_[i] = iovec{const_cast<uint8_t*>(pairs[i].data), pairs[i].length};
        }
    }
    IoVecArray(const IoVecArray&) = delete;
    IoVecArray& operator=(const IoVecArray&) = delete;

    iovec* Data() { return vec_; }

private:
    static constexpr int32_t kInline = 64;
    iovec inline_[kInline];
    std::vector<iovec> big_;
    iovec* vec_ = inline_;
};

}  // namespace norvex
