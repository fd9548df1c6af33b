#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace norvex::test {

// An HTTP server on a free 127.0.0.1 (or ::1) port that records every request byte for byte
// and answers with whatever raw response the responder returns.  An empty response holds the
// connection open without a word until the server stops.  One connection at a time.
class RawHttpServer {
public:
    using Responder = std::function<std::string(const std::string& request)>;
    enum class Loopback { kIpv4, kIpv6 };

    explicit RawHttpServer(Responder responder, Loopback loopback = Loopback::kIpv4);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    bool Ok() const { return port_ > 0; }
    int Port() const { return port_; }
    // "127.0.0.1:port" or "[::1]:port"
    std::string HostPort() const { return host_ + ":" + std::to_string(port_); }
    std::vector<std::string> Requests() const;

    // "HTTP/1.1 <status>" with a Content-Length, the given extra header lines and the body.
    static std::string Response(int status, const std::string& body,
                                const std::string& extraHeaders = {});
    // The request target of a recorded request ("/path?query").
    static std::string Target(const std::string& request);

private:
    void Run();
    void Serve(int fd);

    Responder responder_;
    int listenFd_ = -1;
    int port_ = -1;
    std::string host_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<int> held_;  // connections left unanswered; closed on stop
    std::thread thread_;
};

}  // namespace norvex::test
