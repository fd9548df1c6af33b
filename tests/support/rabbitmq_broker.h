#pragma once
#include <string>

#include "support/child_process.h"
#include "support/test_broker.h"

namespace norvex::test {

// A private RabbitMQ node with its MQTT plugin on free loopback ports, its own data folder and
// node name.  Anonymous MQTT logins are the loopback-only guest user; every other user must be
// made with AddUser.  It grants QoS 1 for a QoS 2 subscription.
class RabbitMqBroker : public TestBroker {
public:
    RabbitMqBroker();
    ~RabbitMqBroker() override;

    bool Start() override;
    void Stop() override;
    int Port() const override { return mqttPort_; }
    bool AddUser(const std::string& user, const std::string& password) override;
    bool NeedsUsers() const override { return true; }

private:
    std::vector<std::string> Env() const;
    bool Ctl(const std::vector<std::string>& args);

    int mqttPort_;
    int amqpPort_;
    int distPort_;
    std::string dir_;
    std::string node_;
    ChildProcess proc_;
};

}  // namespace norvex::test
