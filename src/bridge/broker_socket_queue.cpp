// BrokerSocket's outgoing buffer: the engine hands its bytes over and never waits for the
// broker to take them.
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "bridge/broker_socket.h"
#include "bridge/tls_link.h"
#include "common/errno_util.h"

namespace norvex {

int BrokerSocket::SendFront() {
    if (tls_) return TlsSendFront();
    for (;;) {
        ssize_t n =
            ::send(fd_.Get(), outgoing_.Front(), outgoing_.Size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (WouldBlock(errno)) return 0;
        lastErrno_ = errno;
        return -1;
    }
}

int BrokerSocket::SendPending() {
    if (!IsConnected()) return -1;
    size_t sent = 0;
    while (!outgoing_.Empty()) {
        int n = SendFront();
        if (n < 0) return -1;
        if (n == 0) break;
        outgoing_.Drop(static_cast<size_t>(n));
        sentTotal_ += static_cast<uint64_t>(n);
        sent += static_cast<size_t>(n);
    }
    // with all of it taken, the kernel sends it now, and the ACK we owe goes with it
    if (sent > 0 && outgoing_.Empty()) ackOwed_ = false;
    return static_cast<int>(sent);
}

// With nothing waiting, the list goes straight to the kernel in one gather send, as it always
// did; only what that leaves over is copied into the buffer.
size_t BrokerSocket::SendDirect(const iovec* vec, int count) {
    if (!outgoing_.Empty() || tls_) return 0;
    msghdr msg{};
    msg.msg_iov = const_cast<iovec*>(vec);
    msg.msg_iovlen = static_cast<size_t>(std::min(count, IOV_MAX));
    ssize_t n = ::sendmsg(fd_.Get(), &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n <= 0) return 0;  // a failure shows again at the next send
    sentTotal_ += static_cast<uint64_t>(n);
    return static_cast<size_t>(n);
}

int32_t BrokerSocket::Queue(const iovec* vec, int count) {
    if (!IsConnected() || count < 0 || (count > 0 && vec == nullptr)) return -1;
    size_t total = 0;
    for (int i = 0; i < count; ++i) total += vec[i].iov_len;
    if (total > outgoing_.Room()) {
        lastErrno_ = ENOBUFS;
        return -1;
    }
    size_t skip = SendDirect(vec, count);
    if (skip == total) {
        // the kernel took it all and sends it now, with the ACK we owe the broker; after a
        // partial send our segments wait behind a full send buffer, and the ACK must not
        if (total > 0) ackOwed_ = false;
        return static_cast<int32_t>(total);
    }
    for (int i = 0; i < count; ++i) {
        size_t take = std::min(skip, vec[i].iov_len);
        skip -= take;
        outgoing_.Append(static_cast<const uint8_t*>(vec[i].iov_base) + take,
                         vec[i].iov_len - take);
    }
    return SendPending() < 0 ? -1 : static_cast<int32_t>(total);
}

}  // namespace norvex
