// host:port comes from the environment and from URLs: any bytes give a usable endpoint or
// nothing, and what a URL would carry reads back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/host_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto hp = norvex::ParseHostPort(text, 50001);
    if (!hp) return 0;
    if (hp->host.empty() || hp->port == 0) std::abort();
    if (hp->host.find_first_of(std::string_view("/@?# \t\r\n[]\0", 12)) != std::string::npos) {
        std::abort();
    }
    auto again = norvex::ParseHostPort(norvex::FormatHostPort(*hp), 1);
    if (!again || again->host != hp->host || again->port != hp->port) std::abort();
    return 0;
}
