#include "bridge/serial_net_port.h"

#include <poll.h>

namespace norvex {

short SerialNetPort::PollEvents() const {
    return POLLIN;
}

}  // namespace norvex
