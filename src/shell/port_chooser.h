#pragma once
#include <string>
#include <vector>

#include "shell/serial_ports.h"

namespace norvex {

// What a port chooser shows when the window opens.
struct PortChooserFill {
    std::vector<std::string> items;     // the port names, in enumeration order
    std::vector<std::string> toolTips;  // per item: the kernel name behind a link, or empty
    int selected = -1;  // the last item equal to the stored name; failing that, the last port
                        // that is the same device node as the stored name; or -1
};

// The stored name stays the one the service uses even when no item matches it (or only its
// device node does): the chooser then merely shows no selection (or the same port).  A
// non-empty virtualPort is offered after the ports (the network-side chooser's built-in
// pseudo-terminal).
PortChooserFill FillPortChooser(const std::vector<SerialPortEntry>& ports,
                                const std::string& storedName, const std::string& virtualPort = {});

// The built-in virtual port as the engine opens it: "pty:" and its link in the user's runtime
// directory, or in /tmp/norvex-UID when there is none (runtimeDir null or empty).
std::string VirtualPortItem(const char* runtimeDir, unsigned uid);

}  // namespace norvex
