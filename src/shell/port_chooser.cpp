#include "shell/port_chooser.h"

#include <filesystem>
#include <system_error>

namespace norvex {
namespace {

// The device node behind an entry: its kernel name when it is listed by a link.
const std::string& NodeOf(const SerialPortEntry& port) {
    return port.kernelName.empty() ? port.portName : port.kernelName;
}

std::string ResolvedName(const std::string& name) {
    std::error_code ec;
    std::filesystem::path node = std::filesystem::canonical(name, ec);
    return ec ? name : node.string();
}

// A configuration written before the list offered stable names stores "/dev/ttyUSB0"; one
// written by hand may store any other link to the port.  Either still shows its port.
int SameNodeItem(const std::vector<SerialPortEntry>& ports, const std::string& storedName) {
    if (storedName.empty()) return -1;
    const std::string resolved = ResolvedName(storedName);
    int found = -1;
    for (size_t i = 0; i < ports.size(); ++i) {
        const std::string& node = NodeOf(ports[i]);
        if (node == storedName || node == resolved || ResolvedName(node) == resolved)
            found = static_cast<int>(i);
    }
    return found;
}

}  // namespace

PortChooserFill FillPortChooser(const std::vector<SerialPortEntry>& ports,
                                const std::string& storedName, const std::string& virtualPort) {
    PortChooserFill fill;
    fill.items.reserve(ports.size() + 1);
    fill.toolTips.reserve(ports.size() + 1);
    auto add = [&](const std::string& name, const std::string& toolTip) {
        if (name == storedName) fill.selected = static_cast<int>(fill.items.size());
        fill.items.push_back(name);
        fill.toolTips.push_back(toolTip);
    };
    for (const SerialPortEntry& port : ports) add(port.portName, port.kernelName);
    if (!virtualPort.empty()) add(virtualPort, {});
    if (fill.selected < 0) fill.selected = SameNodeItem(ports, storedName);
    return fill;
}

std::string VirtualPortItem(const char* runtimeDir, unsigned uid) {
    std::string dir = runtimeDir && *runtimeDir ? std::string(runtimeDir) + "/norvex"
                                                : "/tmp/norvex-" + std::to_string(uid);
    return "pty:" + dir + "/ttyNorvex0";
}

}  // namespace norvex
