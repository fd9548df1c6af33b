#pragma once
#include <string>
#include <string_view>

#include "groupservice/http_client.h"

namespace norvex {

// The OK button of the log-in dialog, without the window.
struct GroupLoginResult {
    bool accepted = false;  // end the dialog with OK
    std::string message;    // the box to show when not accepted
    // When accepted: the caller's GroupRecord.  id and password are the box texts as typed
    // (untrimmed); name is the service's, trimmed and lower-cased.
    std::string id;
    std::string password;
    std::string name;
};

// Trims copies of the two box texts; empty -> kLoginEmpty and nothing is sent; otherwise asks
// the group service and reads the reply with the login reader (failure -> kLoginWrong).
GroupLoginResult GroupLoginOk(const HttpClient& client, std::string_view idBox,
                              std::string_view passwordBox);

}  // namespace norvex
