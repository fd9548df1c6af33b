#pragma once
#include <string>
#include <string_view>

#include "groupservice/http_client.h"

namespace norvex {

// What the details dialog shows for a group, decided when it opens.
struct GroupDetailsView {
    bool closeAtOnce = false;  // show message, then close the dialog
    std::string message;
    std::string id;       // always shown
    std::string name;     // empty unless the reply could be split
    std::string created;  // empty unless the reply could be split
};

GroupDetailsView LoadGroupDetails(const HttpClient& client, std::string_view groupId,
                                  std::string_view password);

}  // namespace norvex
