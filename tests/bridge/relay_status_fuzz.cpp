// Fuzz target for the relay status payload reader: whatever a relay sends, the texts that reach
// the panel are valid UTF-8 within the fields' length, and nothing past a NUL is looked at.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/relay_status.h"
#include "common/device_identity.h"
#include "common/utf16_units.h"
#include "common/utf8.h"

namespace {

void CheckText(const std::string& text) {
    if (norvex::ToValidUtf8(text) != text) std::abort();
    if (norvex::Utf16Units(text) > norvex::kDeviceTextUnits) std::abort();
}

bool SameResult(const norvex::StatusMessage& a, const norvex::StatusMessage& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == norvex::StatusKind::kPing) return a.pingDevid == b.pingDevid;
    if (a.kind != norvex::StatusKind::kBaseInfo) return true;
    return a.info.devid == b.info.devid && a.info.text == b.info.text &&
           a.info.value1 == b.info.value1 && a.info.value2 == b.info.value2 &&
           a.info.iccid == b.info.iccid && a.info.imei == b.info.imei;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    norvex::StatusMessage m;
    norvex::StatusKind kind = norvex::ParseStatusMessage(data, size, &m);
    if (kind != norvex::StatusKind::kIgnored && kind != m.kind) std::abort();
    if (kind == norvex::StatusKind::kBaseInfo) {
        CheckText(m.info.text);
        CheckText(m.info.iccid);
        CheckText(m.info.imei);
    }
    // the payload ends at the first NUL: what follows it must change nothing
    const void* nul = std::memchr(data, 0, size);
    if (nul != nullptr) {
        size_t cut = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data);
        std::vector<uint8_t> head(data, data + cut);
        norvex::StatusMessage h;
        norvex::ParseStatusMessage(head.data(), head.size(), &h);
        if (!SameResult(m, h)) std::abort();
    }
    return 0;
}
