// The registration reply comes from outside; any bytes must give one of the checks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "groupservice/registration.h"
#include "groupservice/text_utf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply = norvex::DecodeUtf8Lossy(
        std::string_view(reinterpret_cast<const char*>(data), size));
    norvex::RegistrationReply r = norvex::CheckRegistrationReply(reply);
    bool ok = r.check == norvex::RegistrationCheck::Ok;
    if (ok != !r.deviceId.empty() || r.deviceId.size() > norvex::kRegistrationFieldMax) std::abort();
    if (!ok && *norvex::RegistrationMessage(r.check) == '\0') std::abort();
    return 0;
}
