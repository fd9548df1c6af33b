#pragma once
#include <string>

#include "support/child_process.h"
#include "support/test_broker.h"

namespace norvex::test {

// A private mosquitto on a free loopback port, anonymous access, no persistence.
// Start() waits until it accepts connections; Restart() brings it back on the same port.
class MosquittoBroker : public TestBroker {
  public:
    MosquittoBroker();
    ~MosquittoBroker() override;

    bool Start() override;
    void Stop() override;

    int Port() const override { return port_; }
    const std::string& LogFile() const { return log_; }

  private:
    int port_;
    std::string dir_;
    std::string conf_;
    std::string log_;
    ChildProcess proc_;
};

}  // namespace norvex::test
