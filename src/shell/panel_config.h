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

// The file's content and the first place where reading lost something.
struct PanelConfigText {
    PanelConfig config;
    int badLine = 0;      // 1-based; 0 when every byte of the file is in config
    std::string problem;  // "line 4 is not \"id,name,password\"", or empty
};

// The file's content as it is read: lines end in CR LF or LF, blank lines between group lines
// are skipped, invalid UTF-8 becomes U+FFFD, a zero byte ends the text, a byte-order mark is
// kept as part of the first value.  A malformed group line ends the list.  badLine names the
// first line whose content is not all in config, so that a rewrite would drop it.
PanelConfigText ReadPanelConfigText(std::string_view bytes);

// ReadPanelConfigText's config alone.
PanelConfig ParsePanelConfig(std::string_view bytes);

// The file's bytes: three header lines, then one "id,name,password" line per group, every
// line ending in CR LF.  Line 3 names the group at groupIndex, or is empty when there is none.
std::string FormatPanelConfig(const PanelConfig& config, int groupIndex);

// The most bytes a value takes in the file: the saver converts through a 256-byte buffer.
inline constexpr size_t kMaxConfigValueBytes = 255;

// Which value is longer than kMaxConfigValueBytes ("the ID of group 2 is 300 bytes long (at
// most 255)"), or empty when none is.
std::string OverlongValue(const PanelConfig& config);

// The index of the group that becomes current after loading: the last group whose id equals
// the stored one, else the first group, else -1.
int ChooseCurrentGroup(const PanelConfig& config);

}  // namespace norvex
