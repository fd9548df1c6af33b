#include "groupservice/registration.h"

#include <cjson/cJSON.h>

#include <memory>

#include "groupservice/dialog_messages.h"

namespace norvex {

namespace {

struct JsonDeleter {
    void operator()(cJSON* j) const { cJSON_Delete(j); }
};
using Json = std::unique_ptr<cJSON, JsonDeleter>;

// The first member of an object with exactly this name; arrays and scalars have no members.
const cJSON* Member(const cJSON* object, const char* name) {
    if (!object || !cJSON_IsObject(object)) return nullptr;
    for (const cJSON* m = object->child; m; m = m->next) {
        if (m->string && std::string_view(m->string) == name) return m;
    }
    return nullptr;
}

// The integer the library gives for any value: a number truncated, 1 for true, else 0.
int IntegerValue(const cJSON* item) {
    if (cJSON_IsNumber(item)) return item->valueint;
    return cJSON_IsTrue(item) ? 1 : 0;
}

bool IsBoundedString(const cJSON* item) {
    if (!cJSON_IsString(item) || !item->valuestring) return false;
    return std::string_view(item->valuestring).size() <= kRegistrationFieldMax;
}

}  // namespace

std::string RegistrationUrl(std::string_view apiHost) {
    return "http://" + std::string(apiHost) + "/register_de?register_code=" + kRegisterCode;
}

std::string RegistrationBody(int32_t serial) {
    return std::string("{\"sn\":\"") + kDeviceLoginPrefix + std::to_string(serial) +
           "\",\"title\": \"" + kRegistrationTitle + "\"}";
}

RegistrationReply CheckRegistrationReply(std::string_view reply) {
    RegistrationReply r;
    Json root(cJSON_ParseWithLength(reply.data(), reply.size()));
    const cJSON* top = root.get();
    const cJSON* errnoItem = Member(top, "errno");
    if (!errnoItem || IntegerValue(errnoItem) != 0) {
        r.check = RegistrationCheck::kBadErrno;
        return r;
    }
    const cJSON* error = Member(top, "error");
    if (!cJSON_IsString(error) || !error->valuestring ||
        std::string_view(error->valuestring) != "succ") {
        r.check = RegistrationCheck::kBadError;
        return r;
    }
    const cJSON* data = Member(top, "data");
    if (!data) {
        r.check = RegistrationCheck::kNoData;
        return r;
    }
    if (!IsBoundedString(Member(data, "key"))) {
        r.check = RegistrationCheck::kNoKey;
        return r;
    }
    const cJSON* deviceId = Member(data, "device_id");
    if (!IsBoundedString(deviceId) || !*deviceId->valuestring) {
        r.check = RegistrationCheck::kNoDeviceId;
        return r;
    }
    r.check = RegistrationCheck::kOk;
    r.deviceId = deviceId->valuestring;
    return r;
}

const char* RegistrationMessage(RegistrationCheck check) {
    switch (check) {
        case RegistrationCheck::kOk:
            return "";
        case RegistrationCheck::kBadErrno:
            return msg::kRegBadErrno;
        case RegistrationCheck::kBadError:
            return msg::kRegBadError;
        case RegistrationCheck::kNoData:
            return msg::kRegNoData;
        case RegistrationCheck::kNoKey:
            return msg::kRegNoKey;
        case RegistrationCheck::kNoDeviceId:
            return msg::kRegNoDeviceId;
    }
    return msg::kRegBadErrno;
}

}  // namespace norvex
