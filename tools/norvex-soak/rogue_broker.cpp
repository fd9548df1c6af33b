#include "rogue_broker.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "mosquitto_proc.h"

namespace norvex::soak {

namespace {

struct Peer {
    int fd = -1;
    std::vector<uint8_t> in;
    std::string clientId;
};

void SendAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<size_t>(n);
    }
}

// The client identifier of a CONNECT body: after the 10 bytes of protocol name, level, flags
// and keep-alive.
std::string ConnectClientId(const uint8_t* body, size_t length) {
    if (length < 12) return {};
    size_t n = size_t{body[10]} << 8 | body[11];
    return length < 12 + n ? std::string()
                           : std::string(reinterpret_cast<const char*>(body + 12), n);
}

// Answers the whole packets buffered for peer; returns whether the victim was served.
bool Answer(Peer& peer, const std::string& victim) {
    bool served = false;
    for (;;) {
        if (peer.in.size() < 2) return served;
        size_t length = 0, lengthBytes = 0;
        for (size_t k = 0; k < 4 && 1 + k < peer.in.size(); ++k) {
            length |= size_t{peer.in[1 + k] & 0x7Fu} << (7 * k);
            if ((peer.in[1 + k] & 0x80) == 0) {
                lengthBytes = k + 1;
                break;
            }
        }
        if (lengthBytes == 0 || peer.in.size() < 1 + lengthBytes + length) return served;
        const uint8_t type = peer.in[0] >> 4;
        const uint8_t* body = peer.in.data() + 1 + lengthBytes;
        if (type == 1) {
            peer.clientId = ConnectClientId(body, length);
            SendAll(peer.fd, {0x20, 0x02, 0x00, 0x00});
        } else if (type == 8 && length >= 2) {
            SendAll(peer.fd, {0x90, 0x04, body[0], body[1], 0x01, 0x01});
            if (peer.clientId == victim) {
                // PUBLISH, QoS bits 11: topic "x", packet id 1, one byte of payload
                SendAll(peer.fd, {0x36, 0x06, 0x00, 0x01, 'x', 0x00, 0x01, 0x55});
                served = true;
            }
        }
        peer.in.erase(peer.in.begin(),
                      peer.in.begin() + static_cast<long>(1 + lengthBytes + length));
    }
}

}  // namespace

bool RogueBroker::Start() {
    int fd = BindLoopback(port_);
    if (fd < 0) return false;
    if (::listen(fd, 16) != 0) {
        ::close(fd);
        return false;
    }
    stop_ = false;
    thread_ = std::thread(&RogueBroker::Serve, this, fd);
    return true;
}

void RogueBroker::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void RogueBroker::Serve(int listener) {
    std::vector<Peer> peers;
    while (!stop_) {
        std::vector<pollfd> fds{{listener, POLLIN, 0}};
        for (const Peer& p : peers) fds.push_back({p.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 50) <= 0) continue;
        if (fds[0].revents & POLLIN) {
            int c = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) peers.push_back({c, {}, {}});
        }
        for (size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) continue;
            Peer& p = peers[i - 1];
            uint8_t buf[4096];
            ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(p.fd);
                p.fd = -1;
                continue;
            }
            p.in.insert(p.in.end(), buf, buf + n);
            if (Answer(p, victim_)) sent_ = true;
        }
        std::erase_if(peers, [](const Peer& p) { return p.fd < 0; });
    }
    for (const Peer& p : peers) ::close(p.fd);
    ::close(listener);
}

}  // namespace norvex::soak
