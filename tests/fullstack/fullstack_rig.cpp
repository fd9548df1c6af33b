#include "fullstack_rig.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/net_util.h"

namespace norvex::test {

std::string ProgramPath(const std::string& name) {
    std::string bin = NORVEX_BINARY_DIR;
    if (name == "norvexd") return bin + "/src/shell/norvexd";
    return bin + "/tools/" + name + "/" + name;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               std::string* output, std::chrono::milliseconds limit) {
    char tmpl[] = "/tmp/norvex-run-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd >= 0) ::close(fd);
    ChildProcess p;
    if (!p.Start(argv, env, tmpl)) return -1;
    int status = p.Wait(limit);
    if (output) *output = ReadText(tmpl);
    ::unlink(tmpl);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ScratchDir::ScratchDir() {
    char tmpl[] = "/tmp/norvex-fullstack-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    path_ = d ? d : "/tmp";
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ec);
}

GroupRig::GroupRig(BrokerKind broker)
    : broker_(MakeTestBroker(broker)),
      groupPort_(FreeLoopbackPort()),
      configPath_(dir_ / "NorvexPanel.cfg") {
    if (broker_->NeedsUsers()) productId_ = "norvex-test";
    if (!broker_->Start()) return;
    if (!groupd_.Start({ProgramPath("norvex-groupd"), "serve", "--port", std::to_string(groupPort_),
                        "--db", dir_ / "groupd.db"},
                       {}, dir_ / "groupd.log")) {
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
    if (RunProgram({ProgramPath("norvex-group"), "create", "--name", "Pump House", "--password",
                    "pump42", "--config", configPath_, "--net-port", netPort},
                   Env(), &out) != 0) {
        return false;
    }
    groupId_ = out.substr(0, out.find('\n'));
    for (const char* devid : {"1", "2"}) {
        if (RunProgram({ProgramPath("norvex-groupd"), "add-device", groupId_, devid, "placeholder",
                        "placeholder", "--db", dir_ / "groupd.db"},
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
    RunProgram({ProgramPath("norvex-groupd"), "list-groups", "--db", dir_ / "groupd.db"}, {}, &out);
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
    RunProgram({ProgramPath("norvex-groupd"), "list-reports", "--db", dir_ / "groupd.db"}, {},
               &out);
    return out;
}

}  // namespace norvex::test
