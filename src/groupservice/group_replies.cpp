#include "groupservice/group_replies.h"

#include "common/decimal.h"
#include "common/unicode_text.h"
#include "common/utf16_units.h"

namespace norvex {

namespace {

// Cuts the text before the first separator off rest; false when there is no separator or it
// stands first (an empty field).
bool TakeField(std::string_view& rest, char separator, std::string_view* field) {
    size_t at = rest.find(separator);
    if (at == std::string_view::npos || at == 0) return false;
    *field = rest.substr(0, at);
    rest.remove_prefix(at + 1);
    return true;
}

}  // namespace

std::optional<GroupInfoFields> SplitGroupInfo(std::string_view reply) {
    size_t first = reply.find(',');
    if (first == std::string_view::npos) return std::nullopt;
    size_t second = reply.find(',', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    GroupInfoFields f;
    f.serial = std::string(reply.substr(0, first));
    f.name = std::string(reply.substr(first + 1, second - first - 1));
    f.created = std::string(reply.substr(second + 1));
    return f;
}

std::optional<std::string> ReadGroupLoginReply(std::string_view reply) {
    const std::string lowered = ToLowerText(reply);
    if (lowered == "err") return std::nullopt;
    auto fields = SplitGroupInfo(lowered);
    if (!fields) return std::nullopt;
    return TrimWhite(fields->name);
}

GroupDetailsReply ReadGroupDetailsReply(std::string_view reply) {
    GroupDetailsReply r;
    if (reply == "err") {
        r.failed = true;
        return r;
    }
    if (auto fields = SplitGroupInfo(reply)) {
        r.hasFields = true;
        r.name = TrimWhite(fields->name);
        r.created = std::move(fields->created);
    }
    return r;
}

std::optional<GroupInfo> ReadServiceStartReply(std::string_view reply) {
    const std::string trimmed = TrimWhite(reply);
    if (trimmed.empty() || trimmed == "err") return std::nullopt;
    auto fields = SplitGroupInfo(trimmed);
    if (!fields) return std::nullopt;
    return GroupInfo{TrimWhite(fields->serial), TrimWhite(fields->name)};
}

std::optional<PrecreateReply> ReadPrecreateReply(std::string_view reply) {
    PrecreateReply r;
    r.serialText = ToLowerText(reply);
    if (r.serialText == "err") return std::nullopt;
    bool digits = false;
    bool fits = false;
    r.serial = ScanDecimal(r.serialText, &digits, &fits);
    if (!digits || !fits) return std::nullopt;
    return r;
}

bool ReadUpdateOnenetInfoReply(std::string_view reply) {
    return ToLowerText(reply) != "err";
}

DeviceListReply ReadGroupDevicesReply(std::string_view reply) {
    DeviceListReply out;
    const std::string lowered = ToLowerText(reply);
    if (lowered == "err") {
        out.status = DeviceListStatus::kFailed;
        return out;
    }
    if (lowered == "no" || reply.empty()) return out;
    out.status = DeviceListStatus::kRecords;
    std::string_view rest = lowered;
    while (!rest.empty()) {
        std::string_view number, iccid, imei;
        if (!TakeField(rest, ',', &number) || !TakeField(rest, ',', &iccid) ||
            !TakeField(rest, '|', &imei)) {
            break;
        }
        out.records.push_back(RelayRecord{ScanDecimal(number),
                                          CutToUtf16Units(TrimWhite(iccid), kDeviceTextUnits),
                                          CutToUtf16Units(TrimWhite(imei), kDeviceTextUnits)});
    }
    return out;
}

}  // namespace norvex
