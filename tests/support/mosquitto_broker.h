#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_broker.h"
#include "support/text_file.h"

namespace norvex::test {

// What a TLS listener presents and trusts (PEM files).
struct BrokerTls {
    std::string caFile;    // CA of the client certificates it accepts
    std::string certFile;  // the broker's own certificate and key
    std::string keyFile;
    bool requireCertificate = false;  // refuse clients without a certificate from caFile
};

// A private mosquitto on a free loopback port, anonymous access, no persistence; with tls, its
// one listener speaks TLS only.
// Start() waits until it accepts connections; Restart() brings it back on the same port.
class MosquittoBroker : public TestBroker {
public:
    explicit MosquittoBroker(const std::optional<BrokerTls>& tls = std::nullopt);
    ~MosquittoBroker() override { Stop(); }

    bool Start() override;
    void Stop() override;

    int Port() const override { return port_; }
    const std::string& LogFile() const { return log_; }

private:
    int port_;
    TempDir dir_;
    std::string conf_;
    std::string log_;
    ChildProcess proc_;
};

}  // namespace norvex::test
