// norvexd's signals as an administrator sends them: SIGTERM while the start-up web requests
// hang, SIGHUP while it relays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "fullstack_rig.h"
#include "shell/config_file.h"
#include "support/net_util.h"
#include "support/raw_http_server.h"

namespace norvex::test {
namespace {

using namespace std::chrono_literals;

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

bool ExitedWith(int status, int code) {
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// A group service that takes the request and never answers it holds the start action in its
// web requests: SIGTERM ends them at once, and norvexd as after any stop, with status 0 and
// without a word about the group.
TEST(NorvexdSignals, SigtermDuringTheStartUpRequestsEndsAtOnceWithStatusZero) {
    struct Case {
        const char* hangs;  // the request left unanswered
        const char* page;
    };
    for (const Case& c :
         {Case{"group check", "getonenetinfo.asp"}, Case{"device list", "getgroupdevices.asp"}}) {
        SCOPED_TRACE(c.hangs);
        const std::string page = c.page;
        RawHttpServer service([page](const std::string& request) {
            if (RawHttpServer::Target(request).find(page) != std::string::npos)
                return std::string();
            return RawHttpServer::Response(200, "100001,Plant A,x");
        });
        ASSERT_TRUE(service.Ok());
        TempDir dir;
        PanelConfig config;
        config.netPortName = dir.File("net");
        config.groups = {{"1000000001", "pump house", "pw"}};
        ASSERT_EQ(SavePanelConfig(dir.File("cfg"), config, 0), ConfigSaveResult::kOk);
        ChildProcess daemon;
        ASSERT_TRUE(daemon.Start({ProgramPath("norvexd"), "--config", dir.File("cfg")},
                                 {"NORVEX_GROUP_SERVICE=" + service.HostPort(),
                                  "NORVEX_BROKER=127.0.0.1:" + std::to_string(FreeLoopbackPort())},
                                 dir.File("log")));
        ASSERT_TRUE(WaitUntil(
            [&] {
                for (const std::string& r : service.Requests())
                    if (RawHttpServer::Target(r).find(page) != std::string::npos) return true;
                return false;
            },
            10s));
        auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(daemon.Signal(SIGTERM));
        int status = daemon.Wait(10s);
        auto took = std::chrono::steady_clock::now() - t0;
        std::string log = ReadTextFile(dir.File("log"));
        EXPECT_TRUE(ExitedWith(status, 0)) << status << "\n" << log;
        // the request's own limit is 30 s; a cut-short request returns in milliseconds
        EXPECT_LT(took, 5s);
        EXPECT_EQ(log.find("ID或密码不对"), std::string::npos) << log;
        EXPECT_EQ(log.find("获取列表失败"), std::string::npos) << log;
        EXPECT_EQ(log.find("运行中"), std::string::npos) << log;
    }
}

// SIGHUP: the run stops as after SIGTERM (its lines, its stats, the virtual port's link gone),
// the configuration is read again and a new run starts from it.
TEST(NorvexdSignals, SighupStopsTheRunCleanlyAndStartsOneFromTheConfigurationReadAgain) {
    GroupRig rig;
    ASSERT_TRUE(rig.Ok());
    const std::string link = rig.Scratch("app-port");
    ASSERT_TRUE(rig.CreateGroup("pty:" + link));
    const std::string logFile = rig.Scratch("norvexd.log");
    ChildProcess daemon;
    ASSERT_TRUE(
        daemon.Start({ProgramPath("norvexd"), "--config", rig.ConfigPath(), "--virtual-port", link},
                     rig.Env(), logFile));
    auto log = [&] { return ReadTextFile(logFile); };
    auto count = [&](const std::string& part) { return CountOf(log(), part); };
    // port open, then connected
    ASSERT_TRUE(WaitUntil([&] { return count("button: 运行中，点击停止") >= 2; }, 20s)) << log();
    ASSERT_TRUE(Exists(link));

    ASSERT_TRUE(daemon.Signal(SIGHUP));
    ASSERT_TRUE(WaitUntil([&] { return count("button: 运行中，点击停止") >= 4; }, 20s)) << log();
    EXPECT_TRUE(daemon.Running());
    EXPECT_TRUE(Exists(link));
    std::string text = log();
    size_t stopping = text.find("button: 正在停止... (disabled)");
    size_t stopped = text.find("button: 已停止，点击运行");
    size_t stats = text.find("stats: ");
    size_t reload = text.find("norvexd: SIGHUP: reading " + rig.ConfigPath() + " again");
    ASSERT_NE(reload, std::string::npos) << text;
    EXPECT_LT(stopping, stopped) << text;
    EXPECT_LT(stopped, stats) << text;
    EXPECT_LT(stats, reload) << text;
    EXPECT_NE(text.find("relays: cleared", reload), std::string::npos) << "no new start action";

    // The file is read again: with a wrong password the new run's group check fails, and the
    // service ends as a failed start does, its port's link removed by the stop before.
    PanelConfig config = LoadPanelConfig(rig.ConfigPath());
    ASSERT_EQ(config.groups.size(), 1u);
    config.groups[0].password = "not-the-password";
    ASSERT_EQ(SavePanelConfig(rig.ConfigPath(), config, 0), ConfigSaveResult::kOk);
    ASSERT_TRUE(daemon.Signal(SIGHUP));
    int status = daemon.Wait(40s);
    EXPECT_TRUE(ExitedWith(status, 1)) << status << "\n" << log();
    EXPECT_EQ(count("norvexd: SIGHUP: reading"), 2u) << log();
    EXPECT_EQ(count("stats: "), 2u) << log();
    EXPECT_NE(log().find("ID或密码不对"), std::string::npos) << log();
    EXPECT_FALSE(Exists(link));
}

}  // namespace
}  // namespace norvex::test
