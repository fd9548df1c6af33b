#include "bridge/broker_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <string>
#include <utility>

#include "bridge/gather_list.h"
#include "bridge/iovec_array.h"
#include "bridge/tls_link.h"
#include "common/deadline.h"
#include "common/errno_util.h"

namespace norvex {

namespace {

using Clock = std::chrono::steady_clock;

// poll() for one descriptor and one event; revents, 0 on time-out, -1 on error
int PollOne(int fd, short events, int timeoutMs) {
    pollfd pfd{fd, events, 0};
    int r = ::poll(&pfd, 1, timeoutMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    return r == 0 ? 0 : pfd.revents;
}

int SocketError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
    return err;
}

}  // namespace

BrokerSocket::BrokerSocket(TlsSettings tls)
    : tlsSettings_(std::move(tls)), outgoing_(kOutgoingLimit) {}

BrokerSocket::~BrokerSocket() {
    Close();
}

void BrokerSocket::Close() {
    if (tls_) tls_->Shutdown();
    tls_.reset();  // before the descriptor it uses
    fd_.Close();
    connected_ = false;
    tcpUp_ = false;
    handshakeWants_ = 0;
    ackOwed_ = false;
    outgoing_.Clear();
}

int BrokerSocket::BeginConnect(const std::string& host, int port) {
    Close();
    lastErrno_ = 0;
    tlsError_.clear();
    if (port <= 0 || port > 65535) {
        lastErrno_ = EINVAL;
        return -1;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // numeric only: a name lookup would block the engine thread for as long as the resolver likes
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 ||
        res == nullptr) {
        lastErrno_ = EINVAL;
        return -1;
    }
    int fd = ::socket(res->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        lastErrno_ = errno;
        ::freeaddrinfo(res);
        return -1;
    }
    // small PUBLISH packets must not wait for the ACK of the previous one
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    int r = ::connect(fd, res->ai_addr, res->ai_addrlen);
    int err = r == 0 ? 0 : errno;
    ::freeaddrinfo(res);
    if (r != 0 && err != EINPROGRESS && err != EINTR) {
        lastErrno_ = err;
        ::close(fd);
        return -1;
    }
    fd_ = UniqueFd(fd);
    tcpUp_ = r == 0;
    connected_ = tcpUp_ && !tlsSettings_.enabled;
    return StartTls(host) ? 0 : -1;
}

int BrokerSocket::PollConnect(int timeoutMs) {
    if (!fd_) return -1;
    if (connected_) return 1;
    if (tcpUp_) return ContinueHandshake(timeoutMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    int ev = PollOne(fd_.Get(), POLLOUT, std::max(timeoutMs, 0));
    if (ev < 0) {
        lastErrno_ = errno;
        Close();
        return -1;
    }
    if (ev == 0) return 0;
    int err = SocketError(fd_.Get());
    if (err != 0 || (ev & POLLOUT) == 0) {
        lastErrno_ = err != 0 ? err : ECONNREFUSED;
        Close();
        return -1;
    }
    tcpUp_ = true;
    if (tls_) return ContinueHandshake(MsLeft(deadline));
    connected_ = true;
    return 1;
}

short BrokerSocket::ConnectEvents() const {
    if (!tcpUp_) return POLLOUT;
    return handshakeWants_ != 0 ? handshakeWants_ : POLLIN;
}

bool BrokerSocket::WaitWritable(int timeoutMs) {
    if (!fd_) return false;
    int ev = PollOne(fd_.Get(), POLLOUT, std::max(timeoutMs, 0));
    return ev > 0 && (ev & POLLOUT) != 0;
}

bool BrokerSocket::WaitReadable(int timeoutMs) {
    if (!fd_) return false;
    if (HasPendingInput()) return true;
    return PollOne(fd_.Get(), POLLIN, std::max(timeoutMs, 0)) > 0;
}

// A broker with Nagle on holds its next small packet (a relay's PUBLISH right behind the PUBACK
// of ours) until we acknowledge the last one, and a delayed ACK costs up to 40 ms on Linux.  Any
// segment we send carries that ACK (a PUBACK leaves right after the read that asked for it), so
// quick-ack mode, whose setsockopt sends a bare ACK segment of its own, is asked for after a read
// only when nothing of ours has left whole since it: a read of PUBACKs, or of part of a packet.
void BrokerSocket::AckIfOwed() {
    if (!ackOwed_ || !fd_) return;
    ackOwed_ = false;
#ifdef TCP_QUICKACK
    int one = 1;
    ::setsockopt(fd_.Get(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
}

int BrokerSocket::Receive(uint8_t* dst, size_t capacity) {
    if (!IsConnected()) return -1;
    if (capacity == 0) return 0;
    capacity = std::min<size_t>(capacity, INT_MAX);
    if (tls_) {
        int r = TlsReceive(dst, capacity);
        if (r > 0) receivedTotal_ += static_cast<uint64_t>(r);
        return r;
    }
    for (;;) {
        ssize_t n = ::recv(fd_.Get(), dst, capacity, MSG_DONTWAIT);
        if (n > 0) {
            ackOwed_ = true;
            receivedTotal_ += static_cast<uint64_t>(n);
            return static_cast<int>(n);
        }
        if (n == 0) {
            lastErrno_ = 0;
            return -1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        // reset, timed out, broken pipe...: as dead as a close, and the loop must reconnect
        lastErrno_ = errno;
        return -1;
    }
}

int32_t BrokerSocket::SendAll(iovec* left, int count, int limitMs) {
    if (!IsConnected() || count < 0 || (count > 0 && left == nullptr)) return -1;
    size_t total = 0;
    for (int i = 0; i < count; ++i) total += left[i].iov_len;
    if (total > INT32_MAX) return -1;
    if (tls_) return TlsSendAll(left, count, total, limitMs);
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(limitMs, 0));
    size_t first = 0;  // first entry with bytes still to send
    size_t sent = 0;
    while (sent < total) {
        while (left[first].iov_len == 0) ++first;
        msghdr msg{};
        msg.msg_iov = &left[first];
        msg.msg_iovlen = std::min<size_t>(static_cast<size_t>(count) - first, IOV_MAX);
        ssize_t n = ::sendmsg(fd_.Get(), &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            first = DropSent(left, first, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && !WouldBlock(errno)) {
            lastErrno_ = errno;
            return -1;
        }
        int ms = MsLeft(deadline);
        if (ms == 0) {
            lastErrno_ = ETIMEDOUT;
            return -1;
        }
        int ev = PollOne(fd_.Get(), POLLOUT, ms);
        if (ev < 0 ||
            (ev > 0 && (ev & POLLOUT) == 0 && (ev & (POLLERR | POLLHUP | POLLNVAL)) != 0)) {
            lastErrno_ = ev < 0 ? errno : SocketError(fd_.Get());
            return -1;
        }
    }
    if (total > 0) ackOwed_ = false;  // the last of it left just now, with the ACK we owe
    return static_cast<int32_t>(total);
}

// The MQTT session's transport over this socket.
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
