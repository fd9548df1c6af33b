#include "support/aedes_broker.h"

#include <unistd.h>

#include <chrono>

#include "support/net_util.h"

namespace norvex::test {

AedesBroker::AedesBroker() : port_(FreeLoopbackPort()) {
    log_ = "/tmp/norvex-aedes-" + std::to_string(::getpid()) + "-" + std::to_string(port_) + ".log";
}

std::string AedesBroker::Folder() {
    return std::string(NORVEX_BINARY_DIR) + "/aedes";
}

bool AedesBroker::Start() {
    if (proc_.Running()) return true;
    if (!proc_.Start({NORVEX_NODE_BIN, Folder() + "/start_aedes.js", std::to_string(port_)}, {},
                     log_)) {
        return false;
    }
    return WaitForListener(port_, std::chrono::milliseconds(15000));
}

}  // namespace norvex::test
