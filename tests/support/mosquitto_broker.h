#pragma once
#include <string>

#include "support/child_process.h"

namespace norvex::test {

// A private mosquitto on a free loopback port, anonymous access, no persistence.
// Start() waits until it accepts connections; Restart() brings it back on the same port.
class MosquittoBroker {
public:
    MosquittoBroker();
    ~MosquittoBroker();

    bool Start();
    void Stop();
    bool Restart() {
        Stop();
        return Start();
    }

    int Port() const { return port_; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    const std::string& LogFile() const { return log_; }

private:
    int port_;
    std::string dir_;
    std::string conf_;
    std::string log_;
    ChildProcess proc_;
};

}  // namespace norvex::test
