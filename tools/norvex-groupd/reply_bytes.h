#pragma once
#include <httplib.h>

#include <string>

namespace norvex::groupd {

// The bytes of res on the wire: status line, res's headers, Content-Length and
// "Connection: close" (every connection carries one request), then the body.
std::string ReplyBytes(const httplib::Response& res);

// A bodiless reply with this status, for requests refused before any page sees them.
std::string StatusOnlyReply(int status);

}  // namespace norvex::groupd
