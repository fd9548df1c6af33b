// norvex-group takes its password from stdin, a file or the terminal, never from its command
// line, and sends nothing when given one there.  Against a recording loopback server.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/config_file.h"
#include "support/child_process.h"
#include "support/raw_http_server.h"

namespace norvex {
namespace {

using test::RawHttpServer;

class GroupToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/norvex-group-tool-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        ASSERT_TRUE(server_.Ok());
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    // Runs "norvex-group add --id 42 ARGS --config ..." with stdin from a file holding input;
    // its exit code (-1 when it did not end) and, in *output, its stdout and stderr.
    int Add(std::vector<std::string> args, const std::string& input, std::string* output) {
        args.insert(args.begin(), {"add", "--id", "42"});
        return Run(args, server_, input, output);
    }

    // "norvex-group ARGS --config ..." against `service` (group service and registration API).
    int Run(std::vector<std::string> args, const RawHttpServer& service, const std::string& input,
            std::string* output) {
        args.insert(args.begin(), NORVEX_GROUP_BIN);
        args.insert(args.end(), {"--config", ConfigPath()});
        const std::string out = dir_ + "/out.txt";
        test::ChildProcess tool;
        if (!tool.Start(args,
                        {"NORVEX_GROUP_SERVICE=" + service.HostPort(),
                         "NORVEX_ONENET_API=" + service.HostPort()},
                        out, WriteFile("stdin.txt", input))) {
            return -1;
        }
        int status = tool.Wait(std::chrono::milliseconds(20000));
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        *output = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string ConfigPath() const { return dir_ + "/NorvexPanel.cfg"; }

    std::string dir_;
    RawHttpServer server_{[](const std::string& request) {
        bool right = RawHttpServer::Target(request).ends_with("&pwd=Pw4tool");
        return RawHttpServer::Response(200, right ? "100123,pump,2026-01-01 10:00:00" : "err");
    }};
};

TEST_F(GroupToolTest, APasswordOnTheCommandLineIsRefusedAndNothingIsSent) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--password", "Pw4tool"},
                                                 {"--password=Pw4tool"},
                                                 {"--password-stdin", "--password", "Pw4tool"}}) {
        std::string output;
        EXPECT_EQ(Add(args, "Pw4tool\n", &output), 2) << args[0];
        EXPECT_NE(output.find("command line"), std::string::npos) << output;
    }
    EXPECT_TRUE(server_.Requests().empty());
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/NorvexPanel.cfg"));
}

TEST_F(GroupToolTest, ThePasswordIsTheFirstLineOfStdinOrAFileWithoutItsLineEnding) {
    const std::string endings[] = {"\n", "\r\n", "", "\nsecond line\n"};
    for (bool fromFile : {false, true}) {
        for (const std::string& ending : endings) {
            const std::string text = "Pw4tool" + ending;
            std::vector<std::string> args = {"--password-stdin"};
            if (fromFile) args = {"--password-file", WriteFile("pw.txt", text)};
            std::string output;
            EXPECT_EQ(Add(args, fromFile ? "" : text, &output), 0)
                << (fromFile ? "file " : "stdin ") << testing::PrintToString(ending) << output;
            EXPECT_EQ(output, "42\n");
        }
    }
    ASSERT_EQ(server_.Requests().size(), 8u);
    EXPECT_EQ(RawHttpServer::Target(server_.Requests()[1]),
              "/norvex/getonenetinfo.asp?devid=42&pwd=Pw4tool");
}

TEST_F(GroupToolTest, ARefusedLoginDoesNotPrintThePassword) {
    const std::string wrong = "Wr0ngSecretXyz";
    std::string output;
    EXPECT_EQ(Add({"--password-stdin"}, wrong + "\r\n", &output), 1);
    EXPECT_FALSE(output.empty());
    EXPECT_EQ(output.find(wrong), std::string::npos) << output;
    ASSERT_EQ(server_.Requests().size(), 1u);  // the wrong password was sent, but only there
    EXPECT_EQ(Add({"--password-file", dir_ + "/missing"}, "", &output), 1);
    EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(GroupToolTest, ACreatedGroupIsPrintedAndStoredEvenWhenTheServiceCannotConfirmIt) {
    struct Case {
        const char* what;
        int bindStatus;
        std::string info;  // the login's reply for the new group
        std::string storedName;
        bool noted;
    };
    const Case cases[] = {
        {"bound and known", 200, "100001,Plant Room,2026-01-01 10:00:00", "plant room", false},
        {"bind unanswered, login refused", 503, "err", "my plant", true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(ConfigPath());
        RawHttpServer service([&c](const std::string& request) {
            const std::string target = RawHttpServer::Target(request);
            if (target.starts_with("/norvex/precreategroup.asp"))
                return RawHttpServer::Response(200, "100001");
            if (target.starts_with("/register_de"))
                return RawHttpServer::Response(
                    200, R"({"errno":0,"error":"succ","data":{"key":"k","device_id":"5001"}})");
            if (target.starts_with("/norvex/updateonenetinfo.asp"))
                return RawHttpServer::Response(c.bindStatus, "");
            return RawHttpServer::Response(200, c.info);
        });
        ASSERT_TRUE(service.Ok());
        std::string output;
        EXPECT_EQ(Run({"create", "--name", " My Plant ", "--password-stdin"}, service, "Pw4tool\n",
                      &output),
                  0)
            << c.what << output;
        EXPECT_TRUE(output.starts_with("5001\n")) << c.what << output;
        EXPECT_EQ(output.find("绑定未能确认") != std::string::npos, c.noted) << c.what << output;
        PanelConfig config = LoadPanelConfig(ConfigPath());
        ASSERT_EQ(config.groups.size(), 1u) << c.what;
        EXPECT_EQ(config.groups[0], (GroupRecord{"5001", c.storedName, "Pw4tool"})) << c.what;
        EXPECT_EQ(config.storedGroupId, "5001") << c.what;
    }
}

}  // namespace
}  // namespace norvex
