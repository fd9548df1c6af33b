#include "support/aedes_broker.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "support/net_util.h"

namespace norvex::test {

AedesBroker::AedesBroker() : port_(FreeLoopbackPort()) {
    char tmpl[] = "/tmp/norvex-aedes-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    dir_ = d ? d : "/tmp";
    log_ = dir_ + "/aedes.log";
}

AedesBroker::~AedesBroker() {
    Stop();
    std::error_code ec;
    if (dir_ != "/tmp") std::filesystem::remove_all(dir_, ec);
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
