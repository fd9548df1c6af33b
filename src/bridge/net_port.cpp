#include "bridge/net_port.h"

#include <string_view>

#include "bridge/serial_port.h"
#include "bridge/virtual_port.h"

namespace norvex {

namespace {
constexpr std::string_view kVirtualPrefix = "pty:";
}  // namespace

std::unique_ptr<NetPort> OpenNetPort(const std::string& name, std::string* error) {
    return OpenNetPort(name, VirtualPortOptions{}, error);
}

std::unique_ptr<NetPort> OpenNetPort(const std::string& name, const VirtualPortOptions& options,
                                     std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (name.rfind(kVirtualPrefix, 0) == 0) {
        std::string path = name.substr(kVirtualPrefix.size());
        if (path.empty()) {
            *error = name + ": no path after pty:";
            return nullptr;
        }
        return VirtualPort::Open(path, options, error);
    }
    auto port = std::make_unique<SerialPort>();
    if (port->Open(name)) return port;
    *error = port->LastError();
    return nullptr;
}

}  // namespace norvex
