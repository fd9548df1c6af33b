#pragma once
#include <openssl/ssl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/tls_settings.h"

namespace norvex {

// Results of TlsLink's steps besides byte counts.
inline constexpr int kTlsWantRead = -1;   // call again once the socket is readable
inline constexpr int kTlsWantWrite = -2;  // call again once the socket is writable
inline constexpr int kTlsClosed = -3;     // the broker ended the connection
inline constexpr int kTlsFailed = -4;     // see Error() and Errno()

// One TLS client connection (TLS 1.2 or later) over a non-blocking socket that the caller owns
// and closes after this object is gone.  The broker's certificate must chain to the configured
// CA and name the broker.  Context and connection are made anew for each connection, so that
// certificate files replaced on disk count from the next connect.
class TlsLink {
public:
    // peerAddress: the address connected to, checked when the settings name nothing else.
    // nullptr, with *error saying why, when the settings cannot be used (a CA file that does not
    // load, a key that does not match the certificate...).
    static std::unique_ptr<TlsLink> Create(const TlsSettings& settings,
                                           const std::string& peerAddress, int fd,
                                           std::string* error);
    ~TlsLink();
    TlsLink(const TlsLink&) = delete;
    TlsLink& operator=(const TlsLink&) = delete;

    // 0 once the handshake is done, or kTlsWantRead / kTlsWantWrite / kTlsClosed / kTlsFailed.
    int Handshake();
    // Decrypted bytes (> 0), or kTlsWantRead / kTlsWantWrite / kTlsClosed / kTlsFailed.
    int Read(uint8_t* dst, int capacity);
    // Bytes taken (> 0, possibly fewer than length), or kTlsWantWrite / kTlsWantRead /
    // kTlsFailed.  After a want, the next call must offer the same bytes first (more may follow).
    int Write(const uint8_t* src, int length);
    // Decrypted bytes held here that poll() on the socket will not announce.
    size_t Pending() const;
    // Sends close_notify, without waiting for the broker's, unless the link has failed.
    void Shutdown();

    // Why the last step failed, e.g. "certificate verify failed: IP address mismatch".
    const std::string& Error() const { return error_; }
    // errno of a failure in the socket itself, EPROTO for a TLS failure.
    int Errno() const { return errno_; }

private:
    struct CtxFree {
        void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
    };
    struct SslFree {
        void operator()(SSL* s) const { SSL_free(s); }
    };

    TlsLink() = default;
    int Outcome(int ret, const char* step);
    void ReadPeerReason();

    std::unique_ptr<SSL_CTX, CtxFree> ctx_;
    std::unique_ptr<SSL, SslFree> ssl_;  // declared after ctx_: freed first
    std::string error_;
    int errno_ = 0;
    bool failed_ = false;
};

}  // namespace norvex
