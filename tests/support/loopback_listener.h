#pragma once

namespace norvex::test {

// A listening TCP socket on 127.0.0.1 and a free port, for the far end of a connection.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool Ok() const { return fd_ >= 0; }
    int Port() const { return port_; }
    // The next connection (a blocking descriptor the caller owns), or -1 after timeoutMs.
    int Accept(int timeoutMs);

private:
    int fd_ = -1;
    int port_ = -1;
};

// Closes fd so that the peer sees a reset rather than an orderly close.
void CloseWithReset(int fd);

}  // namespace norvex::test
