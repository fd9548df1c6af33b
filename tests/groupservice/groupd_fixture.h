#pragma once
// A private norvex-groupd on a free loopback port with its database in a scratch folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "groupservice/endpoints.h"
#include "groupservice/http_client.h"
#include "support/child_process.h"
#include "support/net_util.h"

namespace norvex::test {

class GroupdTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/norvex-groupd-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        db_ = dir_ + "/groups.db";
        port_ = FreeLoopbackPort();
        ASSERT_GT(port_, 0);
        ASSERT_TRUE(StartService());
    }
    void TearDown() override {
        service_.Stop();
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    bool StartService() {
        std::vector<std::string> argv = {NORVEX_GROUPD_BIN, "--port", std::to_string(port_), "--db",
                                         db_};
        argv.insert(argv.end(), serviceOptions_.begin(), serviceOptions_.end());
        if (!service_.Start(argv, {}, dir_ + "/groupd.log")) {
            return false;
        }
        return WaitForListener(port_, std::chrono::milliseconds(5000));
    }
    bool RestartService() {
        service_.Stop();
        return StartService();
    }

    // Runs a command of the tool on the same database; its output, or "exit N" on failure.
    std::string Tool(std::vector<std::string> args) {
        args.insert(args.begin(), NORVEX_GROUPD_BIN);
        args.insert(args.end(), {"--db", db_});
        const std::string out = dir_ + "/tool.out";
        ChildProcess tool;
        if (!tool.Start(args, {}, out)) return "no start";
        int status = tool.Wait(std::chrono::milliseconds(10000));
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "exit " + std::to_string(status);
        return text.str();
    }

    GroupServiceEndpoints Endpoints() const {
        GroupServiceEndpoints e;
        e.groupService = HostPort{"127.0.0.1", static_cast<uint16_t>(port_)};
        e.onenetApi = "127.0.0.1:" + std::to_string(port_);
        return e;
    }
    HttpClient Client() const { return HttpClient(Endpoints().groupService); }

    std::string dir_, db_;
    int port_ = -1;
    std::vector<std::string> serviceOptions_;  // added to the service's command line
    ChildProcess service_;
};

}  // namespace norvex::test
