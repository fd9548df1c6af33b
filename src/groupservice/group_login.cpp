#include "groupservice/group_login.h"

#include "common/unicode_text.h"
#include "groupservice/dialog_messages.h"
#include "groupservice/group_replies.h"
#include "groupservice/group_requests.h"

namespace norvex {

GroupLoginResult GroupLoginOk(const HttpClient& client, std::string_view idBox,
                              std::string_view passwordBox) {
    GroupLoginResult r;
    const std::string id = TrimWhite(idBox);
    const std::string password = TrimWhite(passwordBox);
    if (id.empty() || password.empty()) {
        r.message = msg::kLoginEmpty;
        return r;
    }
    auto name = ReadGroupLoginReply(client.HttpGet(GroupInfoPath(id, password)));
    if (!name) {
        r.message = msg::kLoginWrong;
        return r;
    }
    r.accepted = true;
    r.id = std::string(idBox);
    r.password = std::string(passwordBox);
    r.name = std::move(*name);
    return r;
}

}  // namespace norvex
