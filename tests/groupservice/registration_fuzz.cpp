// The registration reply comes from outside; any bytes must give one of the checks.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/utf8.h"
#include "groupservice/registration.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply = norvex::ToValidUtf8(
        norvex::BeforeNul(std::string_view(reinterpret_cast<const char*>(data), size)));
    norvex::RegistrationReply r = norvex::CheckRegistrationReply(reply);
    bool ok = r.check == norvex::RegistrationCheck::kOk;
    if (ok != !r.deviceId.empty() || r.deviceId.size() > norvex::kRegistrationFieldMax)
        std::abort();
    if (!ok && *norvex::RegistrationMessage(r.check) == '\0') std::abort();
    return 0;
}
