#include "bridge/tls_socket_bio.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace norvex {

namespace {

int FdOf(BIO* b) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b)));
}

bool Retryable(int err) {
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

int BioWrite(BIO* b, const char* data, int length) {
    BIO_clear_retry_flags(b);
    ssize_t n = ::send(FdOf(b), data, static_cast<size_t>(length), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);
    if (Retryable(errno)) BIO_set_retry_write(b);
    return -1;
}

int BioRead(BIO* b, char* dst, int capacity) {
    BIO_clear_retry_flags(b);
    ssize_t n = ::recv(FdOf(b), dst, static_cast<size_t>(capacity), MSG_DONTWAIT);
    if (n >= 0) return static_cast<int>(n);  // 0: the peer closed
    if (Retryable(errno)) BIO_set_retry_read(b);
    return -1;
}

long BioCtrl(BIO* b, int cmd, long, void* ptr) {
    switch (cmd) {
        case BIO_CTRL_FLUSH:
            return 1;  // nothing is buffered here
        case BIO_C_GET_FD:
            if (ptr != nullptr) *static_cast<int*>(ptr) = FdOf(b);
            return FdOf(b);
        default:
            return 0;
    }
}

// Made once and never changed; OpenSSL only reads it.
const BIO_METHOD* SocketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(
            BIO_get_new_index() | BIO_TYPE_SOURCE_SINK | BIO_TYPE_DESCRIPTOR, "norvex socket");
        if (m == nullptr) return m;
        BIO_meth_set_write(m, BioWrite);
        BIO_meth_set_read(m, BioRead);
        BIO_meth_set_ctrl(m, BioCtrl);
        return m;
    }();
    return method;
}

}  // namespace

BIO* NewSocketBio(int fd) {
    const BIO_METHOD* method = SocketMethod();
    if (method == nullptr) return nullptr;
    BIO* b = BIO_new(method);
    if (b == nullptr) return nullptr;
    BIO_set_data(b, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    BIO_set_init(b, 1);
    return b;
}

}  // namespace norvex
