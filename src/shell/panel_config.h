#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace norvex {

// A device group as the panel keeps it.  Texts are UTF-8.
struct GroupRecord {
    std::string id;        // as the user typed it
    std::string name;      // as the web service reported it at login, trimmed, lower case
    std::string password;  // as the user typed it

    bool operator==(const GroupRecord&) const = default;
};

// The user's choices kept between runs.
struct PanelConfig {
    std::string netPortName;          // the port the service opens
    std::string appPortName;          // the user's own application's port: shown and stored only
    std::string storedGroupId;        // chooses the current group once, at start-up
    std::vector<GroupRecord> groups;  // in the order they were added; IDs need not be unique
};

// The fixed file name, kept beside the executable.
inline constexpr std::string_view kPanelConfigFileName = "NorvexPanel.cfg";

// The file's content as it is read: invalid UTF-8 becomes U+FFFD, a zero byte ends the text,
// a byte-order mark is kept as part of the first value.  Malformed group lines end the list.
PanelConfig ParsePanelConfig(std::string_view bytes);

// The file's bytes: three header lines, then one "id,name,password" line per group, every
// line ending in CR LF.  Line 3 names the group at groupIndex, or is empty when there is none.
std::string FormatPanelConfig(const PanelConfig& config, int groupIndex);

// The index of the group that becomes current after loading: the last group whose id equals
// the stored one, else the first group, else -1.
int ChooseCurrentGroup(const PanelConfig& config);

}  // namespace norvex
