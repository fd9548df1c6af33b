#include "broker_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "support/net_util.h"

namespace norvex::test {

BrokerLink::BrokerLink(int port, int32_t maxRead) : fd_(ConnectLoopback(port)), maxRead_(maxRead) {
    mqtt::SetupSession(&s, &Read, this, &Write, this, wire.Handlers());
}

BrokerLink::~BrokerLink() {
    mqtt::FreeSession(&s);
    if (fd_ >= 0) ::close(fd_);
}

// Waits a few milliseconds for data, so a polling loop does not spin; 0 when none came.
int32_t BrokerLink::Read(void* arg, uint8_t* dst, int32_t capacity) {
    auto* self = static_cast<BrokerLink*>(arg);
    pollfd p{self->fd_, POLLIN, 0};
    int ready = ::poll(&p, 1, 5);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
    if (ready < 0) return -1;
    auto want = static_cast<size_t>(std::min(capacity, self->maxRead_));
    ssize_t n = ::recv(self->fd_, dst, want, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return n > 0 ? static_cast<int32_t>(n) : -1;  // 0: the broker closed the connection
}

int32_t BrokerLink::Write(void* arg, const mqtt::IoVec* pairs, int32_t count) {
    auto* self = static_cast<BrokerLink*>(arg);
    Wire::Write(&self->wire, pairs, count);  // log what goes out
    std::vector<iovec> iov;
    size_t total = 0;
    for (int32_t i = 0; i < count; ++i) {
        iov.push_back({const_cast<uint8_t*>(pairs[i].data), pairs[i].length});
        total += pairs[i].length;
    }
    msghdr m{};
    m.msg_iov = iov.data();
    m.msg_iovlen = iov.size();
    // loopback takes these small packets whole; a partial send is reported, not retried
    ssize_t n = ::sendmsg(self->fd_, &m, MSG_NOSIGNAL);
    return n == static_cast<ssize_t>(total) ? static_cast<int32_t>(n) : -1;
}

bool BrokerLink::Send(mqtt::PacketChain* chain) {
    uint32_t total = chain->total;
    int32_t r = mqtt::SendChain(&s, chain);
    mqtt::ReleaseChain(chain);
    return total != 0 && r == static_cast<int32_t>(total);
}

bool BrokerLink::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        lastResult = mqtt::ReceivePacket(&s);
        if (lastResult != 0 && lastResult != mqtt::kErrNoData) return false;
    }
    return true;
}

bool BrokerLink::Saw(const std::string& call) const {
    return std::find(wire.calls.begin(), wire.calls.end(), call) != wire.calls.end();
}

bool BrokerLink::Handshake(const std::string& clientId, const char* const filters[2]) {
    mqtt::PacketChain chain{};
    const uint8_t password[] = {'x'};
    if (mqtt::BuildConnect(&chain, clientId.c_str(), "", password, 1) != 0 || !Send(&chain)) {
        return false;
    }
    if (!PumpUntil([&] { return Saw("connack 0 0"); }, std::chrono::seconds(10))) return false;
    if (mqtt::BuildSubscribe(&chain, filters) != 0 || !Send(&chain)) return false;
    return PumpUntil([&] { return Saw("suback 1 [02 02]"); }, std::chrono::seconds(10));
}

}  // namespace norvex::test
