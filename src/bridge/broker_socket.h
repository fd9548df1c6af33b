#pragma once
#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "bridge/byte_queue.h"
#include "bridge/tls_settings.h"
#include "common/unique_fd.h"

namespace mqtt {
struct IoVec;
}

namespace norvex {

class TlsLink;

// The engine's TCP connection to the broker: non-blocking, Nagle off (with Nagle on, a PUBLISH
// waits behind the ACK of the previous one), never raises SIGPIPE.  Owns its descriptor; one
// thread at a time.
//
// With TLS on, the same calls carry the same bytes encrypted: PollConnect also completes the TLS
// handshake, Receive and SendAll decrypt and encrypt.  One difference matters to a caller that
// sleeps in poll() on Fd(): decrypted bytes may wait inside the socket object, unannounced by
// poll(); drain them first while HasPendingInput() is true.
class BrokerSocket {
public:
    // Plain TCP unless tls.enabled.
    explicit BrokerSocket(TlsSettings tls = {});
    ~BrokerSocket();
    BrokerSocket(const BrokerSocket&) = delete;
    BrokerSocket& operator=(const BrokerSocket&) = delete;

    // Starts a connect to a numeric IPv4/IPv6 address.  0: pending or already connected (see
    // PollConnect); -1: failed at once (bad address, no socket, refused synchronously).  Closes
    // any previous connection first.
    int BeginConnect(const std::string& host, int port);
    // Waits up to timeoutMs (0: just looks) for the connect started by BeginConnect and, with
    // TLS, for the handshake after it: both within the one limit.
    // 1: connected; 0: still pending; -1: failed (refused, unreachable, certificate not trusted
    // ...), socket closed.
    int PollConnect(int timeoutMs);
    // What poll() on Fd() should wait for while PollConnect says pending: room to send during
    // the TCP connect, and whatever the TLS handshake waits for after it.
    short ConnectEvents() const;
    // Harmless when nothing is open.
    void Close();
    // The settings of the next BeginConnect; an open connection keeps those it was made with.
    void SetTls(TlsSettings tls) { tlsSettings_ = std::move(tls); }

    bool IsOpen() const { return static_cast<bool>(fd_); }
    bool IsConnected() const { return IsOpen() && connected_; }
    int Fd() const { return fd_.Get(); }
    // errno of the last failure (connect, receive, send); 0 when none.  EPROTO for a TLS
    // failure (certificate, protocol).
    int LastErrno() const { return lastErrno_; }
    // The last failure as text for the user: "TLS handshake failed: certificate verify failed:
    // unable to get local issuer certificate", "Connection refused"...; empty when none.
    std::string LastError() const;
    // True while decrypted bytes wait for Receive; poll() on Fd() does not see them.  Always
    // false without TLS.
    bool HasPendingInput() const;

    // Waits up to timeoutMs for room in the send buffer; false on time-out or error.
    bool WaitWritable(int timeoutMs);
    // Waits up to timeoutMs for bytes (or a close) to read; false on time-out.
    bool WaitReadable(int timeoutMs);

    // Bytes received (> 0); 0 when nothing is ready; -1 when the peer closed or the connection
    // failed (reset, timed out, broken pipe, not connected).  The broker's ACK for them leaves
    // with the next bytes sent, or at AckIfOwed().
    int Receive(uint8_t* dst, size_t capacity);
    // Call once a read is handled: acknowledges at once what was received since the last bytes
    // sent whole, if anything was.  A broker with Nagle on waits for that ACK before its next
    // small packet.
    void AckIfOwed();
    // Sends every byte of the gather list: partial sends are continued, a full send buffer is
    // waited for, for at most limitMs in all.  Total bytes, or -1 (error, time-out, not
    // connected, or a total beyond INT32_MAX).  The entries are advanced past what went out.
    int32_t SendAll(iovec* vec, int count, int limitMs);

    // The engine's way out, which never waits: appends every byte of the gather list to the
    // outgoing buffer and sends what the connection takes at once; the rest goes with
    // SendPending() once poll() on Fd() reports POLLOUT.  Total bytes taken, or -1 (not
    // connected, the connection failed, or the buffer would pass kOutgoingLimit).
    int32_t Queue(const iovec* vec, int count);
    // Sends what the connection takes now of the outgoing buffer: the bytes sent (0: nothing
    // went), or -1 when the connection failed.
    int SendPending();
    // Bytes in the outgoing buffer; emptied by Close(), so a new connection starts clean.
    size_t PendingOut() const { return outgoing_.Size(); }
    // Bytes handed to the connection since the object was made: progress shows as change.
    uint64_t SentTotal() const { return sentTotal_; }
    // Bytes received since the object was made, likewise.
    uint64_t ReceivedTotal() const { return receivedTotal_; }

private:
    // one send of the buffer's front: bytes taken, 0 when the connection takes nothing now, -1
    int SendFront();
    int TlsSendFront();
    // one gather send of the list while nothing waits: the bytes taken (0 on any failure)
    size_t SendDirect(const iovec* vec, int count);
    // TLS halves of PollConnect, Receive and SendAll (broker_socket_tls.cpp)
    bool StartTls(const std::string& host);
    int ContinueHandshake(int timeoutMs);
    int TlsReceive(uint8_t* dst, size_t capacity);
    int32_t TlsSendAll(iovec* left, int count, size_t total, int limitMs);
    void TlsFailed();
    UniqueFd fd_;
    bool connected_ = false;  // ready for Receive/SendAll: TCP connected and, with TLS, handshaken
    bool tcpUp_ = false;
    short handshakeWants_ = 0;  // POLLIN or POLLOUT: the handshake's last need
    int lastErrno_ = 0;
    TlsSettings tlsSettings_;
    std::unique_ptr<TlsLink> tls_;  // while a TLS connection is open
    std::string tlsError_;          // why TLS failed since the last BeginConnect; else empty
    ByteQueue outgoing_;            // bytes Queue() could not send at once
    uint64_t sentTotal_ = 0;
    uint64_t receivedTotal_ = 0;
    bool ackOwed_ = false;  // bytes were received since the last bytes sent
};

// Most bytes the outgoing buffer holds: far more than a pass produces, so that only a broker
// that has stopped reading fills it.
inline constexpr size_t kOutgoingLimit = 256 * 1024;

// How long SocketWriter waits, in all, for a broker that does not take our bytes.
inline constexpr int kSocketWriteLimitMs = 5000;

// The MQTT session's transport functions; arg is the BrokerSocket*.
// Reader: bytes (> 0), 0 when nothing is ready, -1 when the peer closed or the connection failed.
int32_t SocketReader(void* arg, uint8_t* dst, int32_t capacity);
// Writer: every byte of the pairs in order, or -1.  Never a partial count.
int32_t SocketWriter(void* arg, const mqtt::IoVec* pairs, int32_t count);

}  // namespace norvex
