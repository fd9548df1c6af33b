#include "bridge/tls_link.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cerrno>
#include <system_error>

#include "bridge/tls_socket_bio.h"

namespace norvex {

namespace {

// The reason of the newest queued OpenSSL error ("no certificate or crl found"), or fallback.
std::string QueuedReason(const char* fallback) {
    unsigned long e = ERR_peek_last_error();
    const char* reason = e != 0 ? ERR_reason_error_string(e) : nullptr;
    std::string text = reason ? reason : fallback;
    ERR_clear_error();
    return text;
}

// A service has nobody to type a pass phrase: an encrypted key fails to load instead of
// OpenSSL asking on the terminal.
int NoPassPhrase(char*, int, int, void*) {
    return -1;
}

bool IsIpAddress(const std::string& name) {
    unsigned char buf[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, name.c_str(), buf) == 1 ||
           ::inet_pton(AF_INET6, name.c_str(), buf) == 1;
}

bool LoadCredentials(SSL_CTX* ctx, const TlsSettings& s, std::string* error) {
    if (s.caFile.empty() ? SSL_CTX_set_default_verify_paths(ctx) != 1
                         : SSL_CTX_load_verify_locations(ctx, s.caFile.c_str(), nullptr) != 1) {
        *error = "cannot load CA certificates from " +
                 (s.caFile.empty() ? std::string("the system store") : s.caFile) + ": " +
                 QueuedReason("unknown error");
        return false;
    }
    if (s.certFile.empty()) {
        if (s.keyFile.empty()) return true;
        *error = "a client key (" + s.keyFile + ") was given without a client certificate";
        return false;
    }
    const std::string& keyFile = s.keyFile.empty() ? s.certFile : s.keyFile;
    if (SSL_CTX_use_certificate_chain_file(ctx, s.certFile.c_str()) != 1) {
        *error =
            "cannot load client certificate " + s.certFile + ": " + QueuedReason("unknown error");
        return false;
    }
    // OpenSSL compares the key with the certificate as it loads it
    if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx) != 1) {
        bool mismatch = ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH;
        *error = mismatch
                     ? "client key " + keyFile + " does not match certificate " + s.certFile
                     : "cannot load client key " + keyFile + ": " + QueuedReason("unknown error");
        ERR_clear_error();
        return false;
    }
    return true;
}

// Which name the broker's certificate must carry: IP entries for an address, DNS entries (and
// SNI) for a host name.
bool SetPeerName(SSL* ssl, const std::string& name, std::string* error) {
    if (name.empty()) {
        *error = "no broker name or address to verify the certificate against";
        return false;
    }
    bool ok = IsIpAddress(name)
                  ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) == 1
                  : SSL_set_tlsext_host_name(ssl, name.c_str()) == 1 &&
                        SSL_set1_host(ssl, name.c_str()) == 1;
    if (!ok) {
        *error = "cannot verify the broker as \"" + name + "\": " + QueuedReason("unusable name");
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<TlsLink> TlsLink::Create(const TlsSettings& settings,
                                         const std::string& peerAddress, int fd,
                                         std::string* error) {
    ERR_clear_error();
    std::unique_ptr<TlsLink> link(new TlsLink());
    link->ctx_.reset(SSL_CTX_new(TLS_client_method()));
    SSL_CTX* ctx = link->ctx_.get();
    if (ctx == nullptr || SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1) {
        *error = "cannot set up TLS: " + QueuedReason("out of memory");
        return nullptr;
    }
    // MQTT frames its own packets, so a connection cut without close_notify is just a close
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_default_passwd_cb(ctx, NoPassPhrase);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    if (!LoadCredentials(ctx, settings, error)) return nullptr;

    link->ssl_.reset(SSL_new(ctx));
    SSL* ssl = link->ssl_.get();
    BIO* bio = ssl ? NewSocketBio(fd) : nullptr;
    if (bio == nullptr) {
        *error = "cannot set up TLS: " + QueuedReason("out of memory");
        return nullptr;
    }
    SSL_set_bio(ssl, bio, bio);
    const std::string& name = settings.verifyName.empty() ? peerAddress : settings.verifyName;
    if (!SetPeerName(ssl, name, error)) return nullptr;
    SSL_set_connect_state(ssl);
    return link;
}

TlsLink::~TlsLink() = default;

// Maps an SSL_* return value to a count or a kTls code; on failure, says why in error_.
int TlsLink::Outcome(int ret, const char* step) {
    if (ret > 0) return ret;
    int saved = errno;
    switch (SSL_get_error(ssl_.get(), ret)) {
        case SSL_ERROR_WANT_READ:
            return kTlsWantRead;
        case SSL_ERROR_WANT_WRITE:
            return kTlsWantWrite;
        case SSL_ERROR_ZERO_RETURN:
            errno_ = 0;
            error_ = std::string(step) + ": the broker closed the connection";
            return kTlsClosed;
        case SSL_ERROR_SYSCALL:
            failed_ = true;
            if (ERR_peek_last_error() == 0) {
                // no OpenSSL reason: the socket failed, or the peer left mid-handshake
                errno_ = saved != 0 ? saved : ECONNRESET;
                error_ = std::string(step) + " failed: " +
                         (saved != 0 ? std::generic_category().message(saved)
                                     : "the broker closed the connection");
                return kTlsFailed;
            }
            break;
        default:
            failed_ = true;
            break;
    }
    errno_ = EPROTO;
    long verify = SSL_get_verify_result(ssl_.get());
    if (verify != X509_V_OK) {
        error_ = std::string(step) +
                 " failed: certificate verify failed: " + X509_verify_cert_error_string(verify);
        ERR_clear_error();
    } else {
        error_ = std::string(step) + " failed: " + QueuedReason("TLS protocol error");
    }
    return kTlsFailed;
}

int TlsLink::Handshake() {
    ERR_clear_error();
    int r = Outcome(SSL_do_handshake(ssl_.get()), "TLS handshake");
    if (r == 1) return 0;
    if (r == kTlsClosed) {
        // a close before the handshake ended is a refusal, not an ordinary end
        failed_ = true;
        errno_ = ECONNRESET;
        error_ = "TLS handshake failed: the broker closed the connection";
        return kTlsFailed;
    }
    return r;
}

int TlsLink::Read(uint8_t* dst, int capacity) {
    ERR_clear_error();
    return Outcome(SSL_read(ssl_.get(), dst, capacity), "TLS receive");
}

int TlsLink::Write(const uint8_t* src, int length) {
    ERR_clear_error();
    int r = Outcome(SSL_write(ssl_.get(), src, length), "TLS send");
    if (r == kTlsFailed && errno_ != EPROTO) ReadPeerReason();
    return r == kTlsClosed ? kTlsFailed : r;
}

// A broker that refuses us once the handshake is over (TLS 1.3 checks a client certificate
// then) sends an alert and closes; a write can meet the reset before anything was read.  The
// alert still waits in the receive queue and says more than "Connection reset by peer".
void TlsLink::ReadPeerReason() {
    uint8_t scratch[512];  // the connection is lost: whatever data comes first goes with it
    ERR_clear_error();
    int r = SSL_read(ssl_.get(), scratch, sizeof scratch);
    if (r <= 0 && SSL_get_error(ssl_.get(), r) == SSL_ERROR_SSL) {
        errno_ = EPROTO;
        error_ = "TLS send failed: " + QueuedReason("TLS protocol error");
    }
    ERR_clear_error();
}

size_t TlsLink::Pending() const {
    return static_cast<size_t>(SSL_pending(ssl_.get()));
}

void TlsLink::Shutdown() {
    if (failed_ || !SSL_is_init_finished(ssl_.get())) return;
    ERR_clear_error();
    SSL_shutdown(ssl_.get());
    ERR_clear_error();
}

}  // namespace norvex
