#pragma once
#include <string>
#include <string_view>

#include "groupservice/endpoints.h"

namespace norvex {

// The OK button of the new-group dialog, without the window.

// Validation of the three box texts (trimmed here): the first message that applies, in the
// order empty, mismatch, too short (under 6 UTF-16 units), characters; empty text when valid.
std::string ValidateNewGroup(std::string_view nameBox, std::string_view passwordBox,
                             std::string_view confirmBox);

struct NewGroupResult {
    bool created = false;  // show the details of (groupId, detailsPassword), then end with OK
    std::string message;   // the box to show when not created
    // When created but the service never answered the bind: the box to show before the
    // details, naming the new ID, since the details may then not be found.
    std::string note;
    bool stopIcon = false;  // the message is a transport error of the registration
    // The device id of this press's successful registration, also when the bind then failed;
    // empty when no device was registered.
    std::string groupId;
    std::string password;         // hand-back: the password box as typed, untrimmed
    std::string detailsPassword;  // the trimmed password the details dialog is opened with
};

// Validates, then reserves the group, registers its device at endpoints.onenetApi and binds
// the device to the group.  Nothing is undone when a later step fails.  Only an explicit "err"
// fails the bind: an unanswered bind leaves a group that exists, so it is created, with a note.
NewGroupResult CreateNewGroup(const GroupServiceEndpoints& endpoints, std::string_view nameBox,
                              std::string_view passwordBox, std::string_view confirmBox);

// The note of a created group whose bind went unanswered.
std::string UnconfirmedBindNote(std::string_view groupId);

}  // namespace norvex
