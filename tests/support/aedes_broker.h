#pragma once
#include <string>

#include "support/child_process.h"
#include "support/test_broker.h"

namespace norvex::test {

// A private aedes (a Node.js broker, in memory) from the build tree's aedes folder, where
// scripts/test.sh runs `npm ci` on tests/support/aedes.
class AedesBroker : public TestBroker {
public:
    AedesBroker();
    ~AedesBroker() override;

    bool Start() override;
    void Stop() override { proc_.Stop(); }
    int Port() const override { return port_; }

    // The folder with start_aedes.js and node_modules.
    static std::string Folder();

private:
    int port_;
    std::string dir_;
    std::string log_;
    ChildProcess proc_;
};

}  // namespace norvex::test
