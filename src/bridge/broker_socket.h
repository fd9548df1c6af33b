#pragma once
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/unique_fd.h"

namespace mqtt {
struct IoVec;
}

namespace norvex {

// The worker's TCP connection to the broker: non-blocking, Nagle off (with Nagle on, a PUBLISH
// waits behind the ACK of the previous one), never raises SIGPIPE.  Owns its descriptor; one
// thread at a time.
class BrokerSocket {
  public:
    BrokerSocket() = default;
    ~BrokerSocket();
    BrokerSocket(const BrokerSocket&) = delete;
    BrokerSocket& operator=(const BrokerSocket&) = delete;

    // Starts a connect to a numeric IPv4/IPv6 address.  0: pending or already connected (see
    // PollConnect); -1: failed at once (bad address, no socket, refused synchronously).  Closes
    // any previous connection first.
    int BeginConnect(const std::string& host, int port);
    // Waits up to timeoutMs (0: just looks) for the connect started by BeginConnect.
    // 1: connected; 0: still pending; -1: failed (refused, unreachable...), socket closed.
    int PollConnect(int timeoutMs);
    // Harmless when nothing is open.
    void Close();

    bool IsOpen() const { return static_cast<bool>(fd_); }
    bool IsConnected() const { return IsOpen() && connected_; }
    int Fd() const { return fd_.Get(); }
    // errno of the last failure (connect, receive, send); 0 when none.
    int LastErrno() const { return lastErrno_; }

    // Waits up to timeoutMs for room in the send buffer; false on time-out or error.
    bool WaitWritable(int timeoutMs);
    // Waits up to timeoutMs for bytes (or a close) to read; false on time-out.
    bool WaitReadable(int timeoutMs);

    // Bytes received (> 0); 0 when nothing is ready; -1 when the peer closed or the connection
    // failed (reset, timed out, broken pipe, not connected).
    int Receive(uint8_t* dst, size_t capacity);
    // Sends every byte of the gather list: partial sends are continued, a full send buffer is
    // waited for, for at most limitMs in all.  Total bytes, or -1 (error, time-out, not
    // connected, or a total beyond INT32_MAX).  The entries are advanced past what went out.
    int32_t SendAll(iovec* vec, int count, int limitMs);
    // While corked, small sends are held and leave together, as few segments, when uncorked:
    // a run of packets then costs the loopback or the network one trip instead of one each.
    void SetCork(bool on);

  private:
    void AckPromptly();
    UniqueFd fd_;
    bool connected_ = false;
    int lastErrno_ = 0;
};

// How long SocketWriter waits, in all, for a broker that does not take our bytes.
inline constexpr int kSocketWriteLimitMs = 5000;

// The MQTT session's transport functions; arg is the BrokerSocket*.
// Reader: bytes (> 0), 0 when nothing is ready, -1 when the peer closed or the connection failed.
int32_t SocketReader(void* arg, uint8_t* dst, int32_t capacity);
// Writer: every byte of the pairs in order, or -1.  Never a partial count.
int32_t SocketWriter(void* arg, const mqtt::IoVec* pairs, int32_t count);

}  // namespace norvex
