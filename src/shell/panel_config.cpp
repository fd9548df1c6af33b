#include "shell/panel_config.h"

#include "common/utf8.h"

namespace norvex {
namespace {

constexpr std::string_view kCrLf = "\r\n";

// One header line: the text up to its CR LF.  A header without one ends the file: the value
// is empty and nothing after it is read.
std::string TakeHeaderLine(std::string_view& rest) {
    size_t end = rest.find(kCrLf);
    if (end == std::string_view::npos) {
        rest = {};
        return {};
    }
    std::string value(rest.substr(0, end));
    rest.remove_prefix(end + kCrLf.size());
    return value;
}

// A comma that belongs to the current line, or npos.  Searching past the line's CR LF would
// glue a blank or comma-less line to the next one and yield an id with a line break in it.
size_t FindCommaInLine(std::string_view rest) {
    size_t comma = rest.find(',');
    size_t eol = rest.find(kCrLf);
    if (comma == std::string_view::npos || (eol != std::string_view::npos && eol < comma)) {
        return std::string_view::npos;
    }
    return comma;
}

// Reads group lines until one does not fit; the record list stays consistent either way.
void ReadGroups(std::string_view rest, std::vector<GroupRecord>& groups) {
    for (;;) {
        size_t comma = FindCommaInLine(rest);
        if (comma == std::string_view::npos || comma == 0) return;
        GroupRecord record;
        record.id = std::string(rest.substr(0, comma));
        rest.remove_prefix(comma + 1);
        comma = FindCommaInLine(rest);
        if (comma == std::string_view::npos || comma == 0) {
            groups.push_back(std::move(record));  // empty name and password; the list ends
            return;
        }
        record.name = std::string(rest.substr(0, comma));
        rest.remove_prefix(comma + 1);
        size_t eol = rest.find(kCrLf);
        if (eol == std::string_view::npos) {
            record.password = std::string(rest);
            groups.push_back(std::move(record));
            return;
        }
        record.password = std::string(rest.substr(0, eol));
        rest.remove_prefix(eol + kCrLf.size());
        groups.push_back(std::move(record));
    }
}

}  // namespace

PanelConfig ParsePanelConfig(std::string_view bytes) {
    std::string text = ToValidUtf8(BeforeNul(bytes));
    std::string_view rest = text;
    PanelConfig config;
    config.netPortName = TakeHeaderLine(rest);
    config.appPortName = TakeHeaderLine(rest);
    config.storedGroupId = TakeHeaderLine(rest);
    ReadGroups(rest, config.groups);
    return config;
}

std::string FormatPanelConfig(const PanelConfig& config, int groupIndex) {
    std::string out;
    auto line = [&out](std::string_view value) {
        out.append(value);
        out.append(kCrLf);
    };
    line(config.netPortName);
    line(config.appPortName);
    bool valid = groupIndex >= 0 && static_cast<size_t>(groupIndex) < config.groups.size();
    line(valid ? std::string_view(config.groups[static_cast<size_t>(groupIndex)].id) : "");
    for (const GroupRecord& g : config.groups) {
        out.append(g.id).append(",").append(g.name).append(",");
        line(g.password);
    }
    return out;
}

int ChooseCurrentGroup(const PanelConfig& config) {
    int current = -1;
    for (size_t i = 0; i < config.groups.size(); ++i) {
        if (config.groups[i].id == config.storedGroupId) current = static_cast<int>(i);
    }
    if (current < 0 && !config.groups.empty()) current = 0;
    return current;
}

}  // namespace norvex
