// Fuzz target for the configuration file reader.  Any bytes give valid UTF-8 values without a
// line break in a header or an id, and what is read is written back and read again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/utf8.h"
#include "shell/panel_config.h"

namespace {

void CheckValue(const std::string& v, bool oneLine) {
    if (!norvex::IsValidUtf8(v)) std::abort();
    if (v.find('\0') != std::string::npos) std::abort();
    if (oneLine && v.find("\r\n") != std::string::npos) std::abort();
}

// A group without an id or a name ends the list when read back, so only lists without such
// records can come back whole.
bool RoundTrips(const norvex::PanelConfig& c) {
    for (const auto& g : c.groups) {
        if (g.id.empty() || g.name.empty()) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    norvex::PanelConfig c = norvex::ParsePanelConfig(bytes);
    CheckValue(c.netPortName, true);
    CheckValue(c.appPortName, true);
    CheckValue(c.storedGroupId, true);
    for (const auto& g : c.groups) {
        CheckValue(g.id, true);
        CheckValue(g.name, true);
        CheckValue(g.password, true);
        if (g.id.find(',') != std::string::npos || g.name.find(',') != std::string::npos) {
            std::abort();
        }
    }
    int current = norvex::ChooseCurrentGroup(c);
    if (current < -1 || current >= static_cast<int>(c.groups.size())) std::abort();
    if ((current == -1) != c.groups.empty()) std::abort();
    if (!RoundTrips(c)) return 0;
    norvex::PanelConfig again = norvex::ParsePanelConfig(norvex::FormatPanelConfig(c, current));
    if (again.netPortName != c.netPortName || again.appPortName != c.appPortName ||
        again.groups != c.groups) {
        std::abort();
    }
    if (current >= 0 && again.storedGroupId != c.groups[static_cast<size_t>(current)].id) {
        std::abort();
    }
    return 0;
}
