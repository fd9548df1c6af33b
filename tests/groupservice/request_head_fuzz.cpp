// Request heads come from anyone who connects; any bytes must give a length, 0 or an error.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "request_head.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    httplib::Request req;
    size_t body = 0;
    int r = norvex::groupd::ParseRequestHead(bytes, &req, &body);
    if (r > 0 &&
        (static_cast<size_t>(r) > size || static_cast<size_t>(r) > norvex::groupd::kMaxHeadBytes ||
         body > norvex::groupd::kMaxBodyBytes || req.path.empty() ||
         bytes.substr(r - 4, 4) != "\r\n\r\n")) {
        std::abort();
    }
    if (r == 0 && size >= norvex::groupd::kMaxHeadBytes) std::abort();
    if (r < 0 && norvex::groupd::HeadErrorStatus(r) < 400) std::abort();
    return 0;
}
