#include <sys/uio.h>

#include <vector>

#include "bridge/broker_socket.h"
#include "mqtt/mqtt_session.h"

namespace norvex {

int32_t SocketReader(void* arg, uint8_t* dst, int32_t capacity) {
    auto* sock = static_cast<BrokerSocket*>(arg);
    if (sock == nullptr) return -1;
    // a full receive buffer offers no room: nothing delivered, which is not a closed peer
    if (capacity <= 0 || dst == nullptr) return 0;
    return sock->Receive(dst, static_cast<size_t>(capacity));
}

int32_t SocketWriter(void* arg, const mqtt::IoVec* pairs, int32_t count) {
    auto* sock = static_cast<BrokerSocket*>(arg);
    if (sock == nullptr || count < 0 || (count > 0 && pairs == nullptr)) return -1;
    // a packet is a handful of chunks, a run of packets a few dozen: no allocation on the way out
    constexpr int32_t kInline = 64;
    iovec inlineVec[kInline];
    std::vector<iovec> bigVec;
    iovec* vec = inlineVec;
    if (count > kInline) {
        bigVec.resize(static_cast<size_t>(count));
        vec = bigVec.data();
    }
    for (int32_t i = 0; i < count; ++i) {
        vec[i].iov_base = const_cast<uint8_t*>(pairs[i].data);
        vec[i].iov_len = pairs[i].length;
    }
    return sock->SendAll(vec, count, kSocketWriteLimitMs);
}

}  // namespace norvex
