// BrokerSocket's TLS path: the handshake after the TCP connect, and Receive and SendAll through
// the TLS link.  The plain path and the connect itself are in broker_socket.cpp.
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <system_error>

#include "bridge/broker_socket.h"
#include "bridge/gather_list.h"
#include "bridge/tls_link.h"
#include "common/deadline.h"

namespace norvex {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineIn(int ms) {
    return Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
}

// One TLS record's worth: what SendAll gathers from the list for one SSL_write, so that a run
// of small packets leaves as one record instead of one record (and one write) per chunk.
constexpr size_t kRecordBytes = 16384;

}  // namespace

std::string BrokerSocket::LastError() const {
    if (!tlsError_.empty()) return tlsError_;
    return lastErrno_ != 0 ? std::generic_category().message(lastErrno_) : std::string();
}

bool BrokerSocket::HasPendingInput() const {
    return tls_ != nullptr && connected_ && tls_->Pending() > 0;
}

void BrokerSocket::TlsFailed() {
    lastErrno_ = tls_->Errno();
    tlsError_ = tls_->Error();
}

bool BrokerSocket::StartTls(const std::string& host) {
    if (!tlsSettings_.enabled) return true;
    std::string error;
    tls_ = TlsLink::Create(tlsSettings_, host, Fd(), &error);
    if (tls_) return true;
    // the settings are at fault, not the broker; the next attempt reads the files again
    Close();
    lastErrno_ = EINVAL;
    tlsError_ = "TLS settings unusable: " + error;
    return false;
}

int BrokerSocket::ContinueHandshake(int timeoutMs) {
    const auto deadline = DeadlineIn(timeoutMs);
    for (;;) {
        int r = tls_->Handshake();
        if (r == 0) {
            connected_ = true;
            return 1;
        }
        if (r != kTlsWantRead && r != kTlsWantWrite) {
            TlsFailed();
            Close();
            return -1;
        }
        handshakeWants_ = r == kTlsWantRead ? POLLIN : POLLOUT;
        int ms = MsLeft(deadline);
        if (ms == 0) return 0;
        // an error or hang-up wakes the wait too; the next step then reports it
        if (r == kTlsWantRead) {
            WaitReadable(ms);
        } else {
            WaitWritable(ms);
        }
    }
}

int BrokerSocket::TlsReceive(uint8_t* dst, size_t capacity) {
    int r = tls_->Read(dst, static_cast<int>(capacity));
    if (r > 0) {
        ackOwed_ = true;
        return r;
    }
    // a partial record, or a key update that waits for room to answer: nothing for the caller yet
    if (r == kTlsWantRead || r == kTlsWantWrite) return 0;
    TlsFailed();
    return -1;
}

// After a want, OpenSSL is offered the same front again (the buffer may have grown behind it,
// and the link allows a moving buffer).
int BrokerSocket::TlsSendFront() {
    size_t len = std::min(outgoing_.Size(), kRecordBytes);
    int n = tls_->Write(outgoing_.Front(), static_cast<int>(len));
    if (n > 0) return n;
    if (n == kTlsWantRead || n == kTlsWantWrite) return 0;
    TlsFailed();
    return -1;
}

int32_t BrokerSocket::TlsSendAll(iovec* left, int count, size_t total, int limitMs) {
    const auto deadline = DeadlineIn(limitMs);
    uint8_t record[kRecordBytes];
    size_t first = 0;  // first entry with bytes still to send
    size_t sent = 0;
    const auto entries = static_cast<size_t>(count);
    while (sent < total) {
        while (left[first].iov_len == 0) ++first;
        // after a want, OpenSSL needs the same bytes offered again: the entries only advance
        // past what it took, so this copy starts with them
        size_t len = 0;
        for (size_t i = first; i < entries && len < kRecordBytes; ++i) {
            size_t take = std::min(left[i].iov_len, kRecordBytes - len);
            std::memcpy(record + len, left[i].iov_base, take);
            len += take;
        }
        int n = tls_->Write(record, static_cast<int>(len));
        if (n > 0) {
            sent += static_cast<size_t>(n);
            first = DropSent(left, first, static_cast<size_t>(n));
            continue;
        }
        if (n != kTlsWantRead && n != kTlsWantWrite) {
            TlsFailed();
            return -1;
        }
        int ms = MsLeft(deadline);
        if (ms == 0) {
            lastErrno_ = ETIMEDOUT;
            tlsError_ =
                "TLS send failed: the broker took nothing for " + std::to_string(limitMs) + " ms";
            return -1;
        }
        if (n == kTlsWantRead) {
            WaitReadable(ms);
        } else {
            WaitWritable(ms);
        }
    }
    return static_cast<int32_t>(total);
}

}  // namespace norvex
