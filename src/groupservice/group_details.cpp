#include "groupservice/group_details.h"

#include "groupservice/dialog_messages.h"
#include "groupservice/group_replies.h"
#include "groupservice/group_requests.h"

namespace norvex {

GroupDetailsView LoadGroupDetails(const HttpClient& client, std::string_view groupId,
                                  std::string_view password) {
    GroupDetailsView view;
    view.id = std::string(groupId);
    GroupDetailsReply reply =
        ReadGroupDetailsReply(client.HttpGet(GroupInfoPath(groupId, password)));
    if (reply.failed) {
        view.closeAtOnce = true;
        view.message = msg::kDetailsFailed;
        return view;
    }
    view.name = std::move(reply.name);
    view.created = std::move(reply.created);
    return view;
}

}  // namespace norvex
