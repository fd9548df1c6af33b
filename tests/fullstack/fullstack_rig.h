#pragma once
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/test_broker.h"
#include "support/text_file.h"

namespace norvex::test {

// Paths of the programs under test in this build tree.
std::string ProgramPath(const std::string& name);

// A private broker (mosquitto unless told) and a private norvex-groupd holding one group with
// two relays.
class GroupRig {
public:
    explicit GroupRig(BrokerKind broker = BrokerKind::kMosquitto);
    bool Ok() const { return ok_; }

    TestBroker& Broker() { return *broker_; }
    const std::string& GroupId() const { return groupId_; }
    const std::string& ConfigPath() const { return configPath_; }
    std::string ServiceHostPort() const { return "127.0.0.1:" + std::to_string(groupPort_); }
    std::string Scratch(const std::string& name) const { return dir_.File(name); }

    // The environment every program of the rig gets.
    std::vector<std::string> Env() const;
    // Creates the group through the new-group path with netPort as its network-side port and
    // adds relays 1 and 2 with placeholder identities; a broker that knows its users learns the
    // service's login.
    bool CreateGroup(const std::string& netPort);
    // "devid,iccid,imei,received" lines of the reports the service received.
    std::string Reports() const;

private:
    // The service's MQTT login: a product id as user name, "NRVX" and the group's serial number
    // as password.  Brokers that let anyone in get an empty user name.
    std::string GroupSerial(const std::string& groupId) const;

    TempDir dir_;
    std::unique_ptr<TestBroker> broker_;
    std::string productId_;
    ChildProcess groupd_;
    int groupPort_ = 0;
    std::string groupId_;
    std::string configPath_;
    bool ok_ = false;
};

}  // namespace norvex::test
