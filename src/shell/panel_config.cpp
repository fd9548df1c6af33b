#include "shell/panel_config.h"

#include "common/utf8.h"

namespace norvex {
namespace {

// Lines end in CR LF as written, or in LF as a Linux editor writes them.  The CR of a CR LF is
// not part of the value.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : rest_(text) {}

    bool AtEnd() const { return rest_.empty(); }
    int Number() const { return number_; }

    // The next line without its line end; *ended is false for a last line that lacks one.
    std::string_view Take(bool* ended) {
        ++number_;
        size_t eol = rest_.find('\n');
        *ended = eol != std::string_view::npos;
        std::string_view line = rest_.substr(0, eol);
        rest_.remove_prefix(*ended ? eol + 1 : rest_.size());
        if (*ended && line.ends_with('\r')) line.remove_suffix(1);
        return line;
    }

private:
    std::string_view rest_;
    int number_ = 0;
};

void NoteProblem(PanelConfigText& out, int line, std::string_view what) {
    if (out.badLine != 0) return;
    out.badLine = line;
    out.problem = "line " + std::to_string(line) + " " + std::string(what);
}

// One header line.  A header without its line end ends the file: the value is empty and
// nothing after it is read.
std::string TakeHeaderLine(LineCursor& lines, PanelConfigText& out) {
    if (lines.AtEnd()) return {};
    bool ended = false;
    std::string_view line = lines.Take(&ended);
    if (ended) return std::string(line);
    NoteProblem(out, lines.Number(), "has no line end");
    return {};
}

// "id,name,password"; the password runs to the line end, commas included.  A line without an
// id ends the list; one without a name adds its id alone and ends the list.
bool ReadGroupLine(std::string_view line, std::vector<GroupRecord>& groups) {
    size_t comma = line.find(',');
    if (comma == std::string_view::npos || comma == 0) return false;
    GroupRecord record{std::string(line.substr(0, comma)), {}, {}};
    size_t second = line.find(',', comma + 1);
    if (second == std::string_view::npos || second == comma + 1) {
        groups.push_back(std::move(record));
        return false;
    }
    record.name = std::string(line.substr(comma + 1, second - comma - 1));
    record.password = std::string(line.substr(second + 1));
    groups.push_back(std::move(record));
    return true;
}

// Blank lines between group lines are skipped; the first line that does not fit ends the list.
void ReadGroups(LineCursor& lines, PanelConfigText& out) {
    while (!lines.AtEnd()) {
        bool ended = false;
        std::string_view line = lines.Take(&ended);
        if (line.empty()) continue;
        if (!ReadGroupLine(line, out.config.groups)) {
            NoteProblem(out, lines.Number(), "is not \"id,name,password\"");
            return;
        }
    }
}

int LineOf(std::string_view bytes, size_t offset) {
    int line = 1;
    for (size_t i = 0; i < offset; ++i) line += bytes[i] == '\n';
    return line;
}

// The first byte that the text loses on loading: a zero byte or an ill-formed UTF-8 piece.
void NoteLostBytes(std::string_view bytes, PanelConfigText& out) {
    std::string_view text = BeforeNul(bytes);
    for (size_t at = 0; at < text.size();) {
        char32_t cp = 0;
        int n = DecodeUtf8Char(text.substr(at), &cp);
        if (n < 0) {
            NoteProblem(out, LineOf(bytes, at), "is not UTF-8");
            return;
        }
        at += static_cast<size_t>(n);
    }
    if (text.size() < bytes.size())
        NoteProblem(out, LineOf(bytes, text.size()), "holds a zero byte");
}

}  // namespace

PanelConfigText ReadPanelConfigText(std::string_view bytes) {
    PanelConfigText out;
    NoteLostBytes(bytes, out);
    std::string text = ToValidUtf8(BeforeNul(bytes));
    LineCursor lines(text);
    out.config.netPortName = TakeHeaderLine(lines, out);
    out.config.appPortName = TakeHeaderLine(lines, out);
    out.config.storedGroupId = TakeHeaderLine(lines, out);
    ReadGroups(lines, out);
    return out;
}

PanelConfig ParsePanelConfig(std::string_view bytes) {
    return ReadPanelConfigText(bytes).config;
}

std::string FormatPanelConfig(const PanelConfig& config, int groupIndex) {
    std::string out;
    auto line = [&out](std::string_view value) {
        out.append(value);
        out.append("\r\n");
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

std::string OverlongValue(const PanelConfig& config) {
    auto check = [](std::string_view what, const std::string& value) {
        if (value.size() <= kMaxConfigValueBytes) return std::string();
        return std::string(what) + " is " + std::to_string(value.size()) + " bytes long (at most " +
               std::to_string(kMaxConfigValueBytes) + ")";
    };
    std::string found = check("the network-side port name", config.netPortName);
    if (found.empty()) found = check("the application-side port name", config.appPortName);
    if (found.empty()) found = check("the current group ID", config.storedGroupId);
    for (size_t i = 0; i < config.groups.size() && found.empty(); ++i) {
        const GroupRecord& g = config.groups[i];
        std::string which = " of group " + std::to_string(i + 1);
        found = check("the ID" + which, g.id);
        if (found.empty()) found = check("the name" + which, g.name);
        if (found.empty()) found = check("the password" + which, g.password);
    }
    return found;
}

}  // namespace norvex
