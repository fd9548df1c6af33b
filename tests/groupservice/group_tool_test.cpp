// norvex-group takes its password from stdin, a file or the terminal, never from its command
// line, and sends nothing when given one there.  Against a recording loopback server.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
        args.insert(args.begin(), {NORVEX_GROUP_BIN, "add", "--id", "42"});
        args.insert(args.end(), {"--config", dir_ + "/NorvexPanel.cfg"});
        const std::string out = dir_ + "/out.txt";
        test::ChildProcess tool;
        if (!tool.Start(args, {"NORVEX_GROUP_SERVICE=" + server_.HostPort()}, out,
                        WriteFile("stdin.txt", input))) {
            return -1;
        }
        int status = tool.Wait(std::chrono::milliseconds(20000));
        std::ifstream in(out);
        std::stringstream text;
        text << in.rdbuf();
        *output = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

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

}  // namespace
}  // namespace norvex
