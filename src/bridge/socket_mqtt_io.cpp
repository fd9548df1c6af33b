#include "bridge/broker_socket.h"
#include "bridge/iovec_array.h"
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
    IoVecArray vec(pairs, count);
    return sock->SendAll(vec.Data(), count, kSocketWriteLimitMs);
}

}  // namespace norvex
