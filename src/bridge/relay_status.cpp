#include "bridge/relay_status.h"

#include <cstring>
#include <string_view>

#include "common/decimal.h"
#include "common/utf16_units.h"
#include "common/utf8.h"

namespace norvex {

namespace {

bool ParsePing(std::string_view value, StatusMessage* out) {
    bool digits = false;
    int32_t devid = ScanDecimal(value, &digits);
    if (!digits) return false;
    out->pingDevid = devid;
    return true;
}

// Six fields, each non-empty and followed by ",".  Anything after the sixth is ignored.
bool SplitBaseInfo(std::string_view value, std::string_view fields[6]) {
    for (int i = 0; i < 6; ++i) {
        size_t comma = value.find(',');
        if (comma == std::string_view::npos || comma == 0) return false;
        fields[i] = value.substr(0, comma);
        value.remove_prefix(comma + 1);
    }
    return true;
}

std::string DeviceText(std::string_view raw) {
    return CutToUtf16Units(ToValidUtf8(raw), kDeviceTextUnits);
}

bool ParseBaseInfo(std::string_view value, StatusMessage* out) {
    std::string_view f[6];
    if (!SplitBaseInfo(value, f)) return false;
    BaseInfo info;
    info.devid = ScanDecimal(f[0], nullptr);
    info.text = DeviceText(f[1]);
    info.value1 = ScanDecimal(f[2], nullptr);
    info.value2 = ScanDecimal(f[3], nullptr);
    info.iccid = DeviceText(f[4]);
    info.imei = DeviceText(f[5]);
    out->info = std::move(info);
    return true;
}

}  // namespace

StatusKind ParseStatusMessage(const uint8_t* payload, size_t length, StatusMessage* out) {
    if (payload == nullptr || out == nullptr) return StatusKind::kIgnored;
    const void* nul = std::memchr(payload, 0, length);
    if (nul) length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - payload);
    std::string_view text(reinterpret_cast<const char*>(payload), length);
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon + 1 >= text.size()) return StatusKind::kIgnored;
    std::string_view kind = text.substr(0, colon);
    std::string_view value = text.substr(colon + 1);
    if (kind == "pingack" && ParsePing(value, out)) return out->kind = StatusKind::kPing;
    if (kind == "baseinfo" && ParseBaseInfo(value, out)) return out->kind = StatusKind::kBaseInfo;
    return StatusKind::kIgnored;
}

}  // namespace norvex
