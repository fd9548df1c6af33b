#pragma once
#include <openssl/bio.h>

namespace norvex {

// An OpenSSL BIO over a non-blocking socket that the caller keeps owning.  Unlike the stock
// socket BIO it sends with MSG_NOSIGNAL: a broker that went away must cost an EPIPE, never a
// SIGPIPE.  nullptr when OpenSSL cannot allocate it.
BIO* NewSocketBio(int fd);

}  // namespace norvex
