#include "support/raw_http_server.h"

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

RawHttpServer::RawHttpServer(Responder responder) : responder_(std::move(responder)) {
    if (listener_.Ok()) thread_ = std::thread([this] { Run(); });
}

RawHttpServer::~RawHttpServer() {
    stop_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    for (int fd : held_) ::close(fd);
}

std::vector<std::string> RawHttpServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void RawHttpServer::Run() {
    while (!stop_.load(std::memory_order_acquire)) {
        int fd = listener_.Accept(20);
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
