#pragma once
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace norvex::test {

// An MQTT 3.1.1 broker of one make, private to a test, on a free loopback port.
class TestBroker {
public:
    virtual ~TestBroker() = default;
    // Starts it and waits until it accepts connections.
    virtual bool Start() = 0;
    virtual void Stop() = 0;
    // Brings it back on the same port, with no sessions or subscriptions kept.
    bool Restart() {
        Stop();
        return Start();
    }
    virtual int Port() const = 0;
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(Port()); }
    // Publishes with mosquitto's command-line client (mosquitto_pub with args after the host
    // and port); true once it ended with status 0 within limit.
    bool Publish(const std::vector<std::string>& args,
                 std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    // Lets user log in with password; a broker that lets anyone in has nothing to do.
    virtual bool AddUser(const std::string& /*user*/, const std::string& /*password*/) {
        return true;
    }
    // Whether logins need a user made with AddUser.
    virtual bool NeedsUsers() const { return false; }
};

enum class BrokerKind { kMosquitto, kAedes, kRabbitMq };

const char* BrokerName(BrokerKind kind);
inline void PrintTo(BrokerKind kind, std::ostream* os) {
    *os << BrokerName(kind);
}
std::unique_ptr<TestBroker> MakeTestBroker(BrokerKind kind);
// The makes this run tests against: mosquitto and aedes, and RabbitMQ's MQTT plugin when
// NORVEX_TEST_RABBITMQ=1 (it takes seconds to start and much memory).
std::vector<BrokerKind> TestBrokerKinds();
// Why a make cannot be used here (empty when it can): aedes needs `npm ci` run into the
// build tree, as scripts/test.sh does.
std::string BrokerUnavailable(BrokerKind kind);

}  // namespace norvex::test
