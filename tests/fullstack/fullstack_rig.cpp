#include "fullstack_rig.h"

#include <fstream>
#include <sstream>

#include "support/net_util.h"

namespace norvex::test {

std::string ProgramPath(const std::string& name) {
    std::string bin = NORVEX_BINARY_DIR;
    if (name == "norvexd") return bin + "/src/shell/norvexd";
    return bin + "/tools/" + name + "/" + name;
}

GroupRig::GroupRig(BrokerKind broker)
    : broker_(MakeTestBroker(broker)),
      groupPort_(FreeLoopbackPort()),
      configPath_(dir_.File("NorvexPanel.cfg")) {
    if (broker_->NeedsUsers()) productId_ = "norvex-test";
    if (!broker_->Start()) return;
    if (!groupd_.Start({ProgramPath("norvex-groupd"), "serve", "--port", std::to_string(groupPort_),
                        "--db", dir_.File("groupd.db")},
                       {}, dir_.File("groupd.log"))) {
        return;
    }
    ok_ = WaitForListener(groupPort_, std::chrono::seconds(10));
}

std::vector<std::string> GroupRig::Env() const {
    return {"NORVEX_BROKER=" + broker_->HostPort(), "NORVEX_GROUP_SERVICE=" + ServiceHostPort(),
            "NORVEX_ONENET_API=" + ServiceHostPort(), "NORVEX_PRODUCT_ID=" + productId_};
}

bool GroupRig::CreateGroup(const std::string& netPort) {
    std::string out;
    const std::string passwordFile = dir_.File("password.txt");
    std::ofstream(passwordFile) << "pump42\n";
    if (RunProgram(
            {ProgramPath("norvex-group"), "create", "--name", "Pump House", "--password-file",
             passwordFile, "--config", configPath_, "--net-port", netPort},
            Env(), &out) != 0) {
        return false;
    }
    groupId_ = out.substr(0, out.find('\n'));
    for (const char* devid : {"1", "2"}) {
        if (RunProgram({ProgramPath("norvex-groupd"), "add-device", groupId_, devid, "placeholder",
                        "placeholder", "--db", dir_.File("groupd.db")},
                       {}, nullptr) != 0) {
            return false;
        }
    }
    if (groupId_.empty()) return false;
    return !broker_->NeedsUsers() || broker_->AddUser(productId_, "NRVX" + GroupSerial(groupId_));
}

std::string GroupRig::GroupSerial(const std::string& groupId) const {
    // list-groups prints "serial,name,created,device id" per group
    std::string out;
    RunProgram({ProgramPath("norvex-groupd"), "list-groups", "--db", dir_.File("groupd.db")}, {},
               &out);
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() > groupId.size() &&
            line.compare(line.size() - groupId.size(), groupId.size(), groupId) == 0 &&
            line[line.size() - groupId.size() - 1] == ',') {
            return line.substr(0, line.find(','));
        }
    }
    return {};
}

std::string GroupRig::Reports() const {
    std::string out;
    RunProgram({ProgramPath("norvex-groupd"), "list-reports", "--db", dir_.File("groupd.db")}, {},
               &out);
    return out;
}

}  // namespace norvex::test
