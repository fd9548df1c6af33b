#include "bridge/net_port.h"

#include "bridge/serial_port.h"

namespace norvex {

std::unique_ptr<NetPort> OpenNetPort(const std::string& name, std::string* error) {
    auto port = std::make_unique<SerialPort>();
    if (port->Open(name)) return port;
    if (error) *error = port->LastError();
    return nullptr;
}

}  // namespace norvex
