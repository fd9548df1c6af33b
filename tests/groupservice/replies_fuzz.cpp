// Every reader of the group service's replies takes outside text: any bytes must give a
// bounded, well-formed result.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/unicode_text.h"
#include "common/utf16_units.h"
#include "common/utf8.h"
#include "groupservice/group_replies.h"
#include "groupservice/url_encode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // replies reach the readers as repaired UTF-8, as HttpClient hands them over
    const std::string reply = norvex::ToValidUtf8(
        norvex::BeforeNul(std::string_view(reinterpret_cast<const char*>(data), size)));
    norvex::ReadGroupLoginReply(reply);
    norvex::ReadGroupDetailsReply(reply);
    norvex::ReadServiceStartReply(reply);
    norvex::ReadPrecreateReply(reply);
    norvex::ReadUpdateOnenetInfoReply(reply);
    auto list = norvex::ReadGroupDevicesReply(reply);
    for (const auto& r : list.records) {
        if (norvex::Utf16Units(r.iccid) > norvex::kDeviceTextUnits ||
            norvex::Utf16Units(r.imei) > norvex::kDeviceTextUnits) {
            std::abort();
        }
    }
    if (list.records.size() > size) std::abort();
    // the raw bytes too, for the text helpers that see unrepaired input
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    norvex::UrlEncodeUtf8(raw);
    norvex::TrimWhite(raw);
    norvex::ToLowerText(raw);
    return 0;
}
