// Fuzz target for norvex-relay's configuration text.  Whatever the bytes, every value read lies
// in its range, the status texts are UTF-8 without a field separator, and a refusal names the
// line in a message of bounded length.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/utf8.h"
#include "relay_config.h"

namespace {

void CheckText(const std::string& t) {
    if (t.size() > norvex::relay::kMaxStatusTextBytes || !norvex::IsValidUtf8(t) ||
        t.find_first_of(",|") != std::string::npos)
        std::abort();
}

void Check(const norvex::relay::RelayConfig& c) {
    if (c.brokerPort < 1 || c.brokerPort > 65535) std::abort();
    if (c.speed < 50 || c.speed > 4000000 || c.dataBits < 5 || c.dataBits > 8) std::abort();
    if (c.stopBits < 1 || c.stopBits > 2 || c.reconnectPauseMs < 100) std::abort();
    if (c.gatherIdleMs < 0 || c.gatherIdleMs > 60000 || c.device < 0) std::abort();
    if (c.pingIntervalS < 1 || c.pingIntervalS > 86400) std::abort();
    CheckText(c.infoText);
    CheckText(c.iccid);
    CheckText(c.imei);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    norvex::relay::RelayConfig cfg;
    std::string err;
    const bool ok = norvex::relay::ParseConfigText(text, "f", cfg, err);
    Check(cfg);  // a refusal leaves what came before it, which must be as sound
    if (ok != err.empty()) std::abort();
    if (!ok && (err.rfind("f:", 0) != 0 || err.size() > 120)) std::abort();
    return 0;
}
