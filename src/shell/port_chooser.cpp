#include "shell/port_chooser.h"

namespace norvex {

PortChooserFill FillPortChooser(const std::vector<SerialPortEntry>& ports,
                                const std::string& storedName) {
    PortChooserFill fill;
    fill.items.reserve(ports.size());
    for (const SerialPortEntry& port : ports) {
        if (port.portName == storedName) fill.selected = static_cast<int>(fill.items.size());
        fill.items.push_back(port.portName);
    }
    return fill;
}

}  // namespace norvex
