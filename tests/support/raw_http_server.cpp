#include "support/raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace norvex::test {

namespace {

// The whole request: the head up to the blank line and a body of Content-Length bytes, read
// within a few seconds.
std::string ReadRequest(int fd, const std::atomic<bool>& stop) {
    std::string in;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t want = std::string::npos;
    while (!stop.load(std::memory_order_acquire) && std::chrono::steady_clock::now() < deadline) {
        size_t head = in.find("\r\n\r\n");
        if (head != std::string::npos && want == std::string::npos) {
            size_t len = 0;
            size_t at = in.find("Content-Length: ");
            if (at != std::string::npos && at < head)
                len = std::strtoul(in.c_str() + at + 16, nullptr, 10);
            want = head + 4 + len;
        }
        if (want != std::string::npos && in.size() >= want) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        char buf[4096];
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        in.append(buf, static_cast<size_t>(n));
    }
    return in;
}

void SendAll(int fd, const std::string& out) {
    size_t sent = 0;
    while (sent < out.size()) {
        ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;  // the client went away (a capped reply stops reading)
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

RawHttpServer::RawHttpServer(Responder responder, Loopback loopback)
    : responder_(std::move(responder)) {
    const bool v6 = loopback == Loopback::kIpv6;
    sockaddr_storage a{};
    socklen_t len = 0;
    if (v6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
        in6->sin6_family = AF_INET6;
        in6->sin6_addr = in6addr_loopback;
        len = sizeof *in6;
    } else {
        auto* in4 = reinterpret_cast<sockaddr_in*>(&a);
        in4->sin_family = AF_INET;
        in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *in4;
    }
    int fd = ::socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        if (fd >= 0) ::close(fd);
        return;
    }
    listenFd_ = fd;
    port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&a)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    host_ = v6 ? "[::1]" : "127.0.0.1";
    thread_ = std::thread([this] { Run(); });
}

RawHttpServer::~RawHttpServer() {
    stop_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    for (int fd : held_) ::close(fd);
    if (listenFd_ >= 0) ::close(listenFd_);
}

std::vector<std::string> RawHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawHttpServer::Run() {
    while (!stop_.load(std::memory_order_acquire)) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) Serve(fd);
    }
}

void RawHttpServer::Serve(int fd) {
    std::string request = ReadRequest(fd, stop_);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
    }
    std::string response = responder_(request);
    if (response.empty()) {
        held_.push_back(fd);
        return;
    }
    SendAll(fd, response);
    ::shutdown(fd, SHUT_WR);
    // let the client read everything before the close (a reset could eat the reply)
    char sink[4096];
    pollfd p{fd, POLLIN, 0};
    for (int i = 0; i < 100 && ::poll(&p, 1, 20) > 0; ++i) {
        if (::recv(fd, sink, sizeof sink, 0) <= 0) break;
    }
    ::close(fd);
}

std::string RawHttpServer::Response(int status, const std::string& body,
                                    const std::string& extraHeaders) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
           extraHeaders + "\r\n" + body;
}

std::string RawHttpServer::Target(const std::string& request) {
    size_t sp = request.find(' ');
    size_t sp2 = request.find(' ', sp + 1);
    if (sp == std::string::npos || sp2 == std::string::npos) return {};
    return request.substr(sp + 1, sp2 - sp - 1);
}

}  // namespace norvex::test
