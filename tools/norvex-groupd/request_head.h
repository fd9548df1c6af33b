#pragma once
#include <httplib.h>

#include <cstddef>
#include <string_view>

namespace norvex::groupd {

// Limits on what a client may send: the head (request line and header lines) and the body.
constexpr size_t kMaxHeadBytes = 8192;
constexpr size_t kMaxBodyBytes = 64 * 1024;

// Why a head was refused; each becomes the status of the reply.
enum HeadError : int {
    kHeadMalformed = -1,   // 400
    kHeadTooLarge = -2,    // 431
    kBodyTooLarge = -3,    // 413
    kBodyNotCounted = -4,  // 411: a body without Content-Length (chunked) is not taken
};

// The status line for a HeadError.
int HeadErrorStatus(int code);

// Parses the head at the front of bytes, as far as it has arrived.  Returns the head's length
// with its closing blank line (out has method, target, path, params, headers and the body
// length in bodyLength), 0 while the blank line has not come yet and the head is still
// within kMaxHeadBytes, or a negative HeadError.  Never throws; out is only filled on success.
int ParseRequestHead(std::string_view bytes, httplib::Request* out, size_t* bodyLength);

}  // namespace norvex::groupd
