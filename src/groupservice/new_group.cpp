#include "groupservice/new_group.h"

#include "common/unicode_text.h"
#include "common/utf16_units.h"
#include "groupservice/dialog_messages.h"
#include "groupservice/group_replies.h"
#include "groupservice/group_requests.h"
#include "groupservice/http_client.h"
#include "groupservice/registration.h"

namespace norvex {

namespace {

bool IsDigitOrLetter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The device of a reserved group: the registration POST and its reply.  On failure the
// message says why; a transport failure carries the transport's own text.
bool RegisterDevice(const GroupServiceEndpoints& endpoints, int32_t serial, NewGroupResult& r) {
    HttpClient client(endpoints.groupService);  // the POST names its own URL
    client.SetExtraHeaders("");
    HttpPostResult post =
        client.HttpPost(RegistrationUrl(endpoints.onenetApi), RegistrationBody(serial));
    if (post.transportError) {
        r.message = post.error;
        r.stopIcon = true;
        return false;
    }
    RegistrationReply reply = CheckRegistrationReply(post.body);
    if (reply.check != RegistrationCheck::kOk) {
        r.message = RegistrationMessage(reply.check);
        return false;
    }
    r.groupId = std::move(reply.deviceId);
    return true;
}

}  // namespace

std::string ValidateNewGroup(std::string_view nameBox, std::string_view passwordBox,
                             std::string_view confirmBox) {
    const std::string name = TrimWhite(nameBox);
    const std::string password = TrimWhite(passwordBox);
    const std::string confirm = TrimWhite(confirmBox);
    if (name.empty() || password.empty() || confirm.empty()) return msg::kNewGroupEmpty;
    if (password != confirm) return msg::kPasswordMismatch;
    if (Utf16Units(password) < 6) return msg::kPasswordTooShort;
    for (char c : password) {
        if (!IsDigitOrLetter(c)) return msg::kPasswordChars;
    }
    return {};
}

NewGroupResult CreateNewGroup(const GroupServiceEndpoints& endpoints, std::string_view nameBox,
                              std::string_view passwordBox, std::string_view confirmBox) {
    NewGroupResult r;
    r.message = ValidateNewGroup(nameBox, passwordBox, confirmBox);
    if (!r.message.empty()) return r;
    const std::string name = TrimWhite(nameBox);
    const std::string password = TrimWhite(passwordBox);
    const HttpClient service(endpoints.groupService);

    auto reserved = ReadPrecreateReply(service.HttpGet(PrecreateGroupPath(name, password)));
    if (!reserved) {
        r.message = msg::kCreateFailed;
        return r;
    }
    if (!RegisterDevice(endpoints, reserved->serial, r)) return r;

    // The group is reserved and its device registered: reporting a failure now would only
    // make the user create another one.  A silent service may well have bound it, so only
    // its explicit refusal fails.
    HttpReply bound = service.Get(UpdateOnenetInfoPath(reserved->serialText, password, r.groupId));
    if (bound.answered && !ReadUpdateOnenetInfoReply(bound.body)) {
        r.message = msg::kCreateFailed;
        return r;
    }
    if (!bound.answered) r.note = UnconfirmedBindNote(r.groupId);
    r.created = true;
    r.password = std::string(passwordBox);
    r.detailsPassword = password;
    return r;
}

std::string UnconfirmedBindNote(std::string_view groupId) {
    return std::string(msg::kBindUnconfirmedHead) + std::string(groupId) +
           msg::kBindUnconfirmedTail;
}

}  // namespace norvex
