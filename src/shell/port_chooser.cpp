#include "shell/port_chooser.h"

namespace norvex {

PortChooserFill FillPortChooser(const std::vector<SerialPortEntry>& ports,
                                const std::string& storedName, const std::string& virtualPort) {
    PortChooserFill fill;
    fill.items.reserve(ports.size() + 1);
    auto add = [&](const std::string& name) {
        if (name == storedName) fill.selected = static_cast<int>(fill.items.size());
        fill.items.push_back(name);
    };
    for (const SerialPortEntry& port : ports) add(port.portName);
    if (!virtualPort.empty()) add(virtualPort);
    return fill;
}

std::string VirtualPortItem(const char* runtimeDir, unsigned uid) {
    std::string dir = runtimeDir && *runtimeDir ? std::string(runtimeDir) + "/norvex"
                                                : "/tmp/norvex-" + std::to_string(uid);
    return "pty:" + dir + "/ttyNorvex0";
}

}  // namespace norvex
