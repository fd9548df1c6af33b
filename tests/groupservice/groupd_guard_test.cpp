// What norvex-groupd keeps from others: its files from other local users, its relays from
// reports about devices it does not know, its stored texts from bytes no reader can show, and
// itself from signals that are not meant to stop it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "groupd_fixture.h"
#include "groupservice/group_replies.h"
#include "groupservice/group_requests.h"
#include "groupservice/new_group.h"

namespace norvex {
namespace {

using test::GroupdTest;

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000;  // 01000: missing
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(GroupdTest, DatabaseAndJournalsAreForThisUserAlone) {
    NewGroupResult created = CreateNewGroup(Endpoints(), "modes", "abc123", "abc123");
    ASSERT_TRUE(created.created) << created.message;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(ModeOf(db_ + suffix), 0600u) << suffix;
    }

    // files opened to others meanwhile are narrowed by the next opener, each one named
    for (const char* suffix : {"", "-wal", "-shm"}) {
        ASSERT_EQ(::chmod((db_ + suffix).c_str(), 0644), 0) << suffix;
    }
    const std::string listed = Tool({"list-groups"});
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(ModeOf(db_ + suffix), 0600u) << suffix;
        EXPECT_NE(listed.find(db_ + suffix + " was open to other users (mode 0644), now 0600"),
                  std::string::npos)
            << listed;
    }
    EXPECT_EQ(ReadGroupDevicesReply(Client().HttpGet(GroupDevicesPath(created.groupId))).status,
              DeviceListStatus::kNoDevices);

    // a folder made on the way is closed too
    const std::string nested = dir_ + "/state/groups.db";
    std::string out;
    EXPECT_EQ(test::RunProgram({NORVEX_GROUPD_BIN, "list-groups", "--db", nested}, {}, &out,
                               std::chrono::seconds(10)),
              0)
        << out;
    EXPECT_EQ(ModeOf(dir_ + "/state"), 0700u);
    EXPECT_EQ(ModeOf(nested), 0600u);
}

// A report carries no password: it may only refresh a relay that is already in a group.
TEST_F(GroupdTest, ReportsOnlyRefreshKnownRelaysWithShowableText) {
    NewGroupResult created = CreateNewGroup(Endpoints(), "reports", "abc123", "abc123");
    ASSERT_TRUE(created.created) << created.message;
    ASSERT_EQ(Tool({"add-device", created.groupId, "7", "8986", "8600"}), "");
    struct Case {
        const char* query;  // after updatedevices.asp?
        const char* reply;
        const char* listed;  // the group's device list afterwards
    };
    const Case cases[] = {
        {"devid=8&iccid=1&imei=2", "err", "7,8986,8600\n"},    // in no group: no row
        {"devid=-5&iccid=1&imei=2", "err", "7,8986,8600\n"},   // nor here
        {"devid=7&iccid=%FF&imei=2", "err", "7,8986,8600\n"},  // not UTF-8
        {"devid=7&iccid=1&imei=%C3", "err", "7,8986,8600\n"},  // cut character
        {"devid=7&iccid=1111111111111111111111111111111111&imei=2", "err", "7,8986,8600\n"},
        {"devid=7&iccid=%E4%B8%AD&imei=", "ok", "7,\xE4\xB8\xAD,\n"},
        {"devid=7&iccid=1111111111111111111111111111111&imei=2", "ok",
         "7,1111111111111111111111111111111,2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        EXPECT_EQ(Client().HttpGet(std::string("/norvex/updatedevices.asp?") + c.query), c.reply);
        EXPECT_EQ(Tool({"list-devices", created.groupId}), c.listed);
    }
    const std::string reports = Tool({"list-reports"});
    EXPECT_EQ(reports.find("8,"), std::string::npos) << reports;
    EXPECT_EQ(std::count(reports.begin(), reports.end(), '\n'), 2) << reports;

    // the same rule for a group's name, a bound device id and a relay put in by hand
    EXPECT_EQ(Client().HttpGet("/norvex/precreategroup.asp?name=a%FFb&pwd=abc123"), "err");
    EXPECT_NE(Client().HttpGet("/norvex/precreategroup.asp?name=%E5%8E%82&pwd=abc123"), "err");
    EXPECT_EQ(Tool({"add-device", created.groupId, "9", "\xFF", "1"}).rfind("exit", 0), 0u);
}

TEST_F(GroupdTest, OnlyTermAndIntStopTheService) {
    for (int sig : {SIGHUP, SIGPIPE, SIGUSR1}) {
        ASSERT_TRUE(service_.Signal(sig)) << sig;
        // still answering afterwards, and still the same process
        EXPECT_EQ(Client().HttpGet(GroupDevicesPath("nosuchgroup")), "err") << sig;
        EXPECT_EQ(service_.Wait(std::chrono::milliseconds(0)), -1) << sig;
    }
    // the note comes from the signal thread, which may write it after the page is answered
    EXPECT_TRUE(test::WaitUntil(
        [&] { return FileText(dir_ + "/groupd.log").find("SIGHUP received") != std::string::npos; },
        std::chrono::seconds(5)));
    for (int sig : {SIGTERM, SIGINT}) {
        ASSERT_TRUE(sig == SIGTERM || RestartService());
        ASSERT_TRUE(service_.Signal(sig));
        int status = service_.Wait(std::chrono::seconds(10));
        ASSERT_NE(status, -1) << sig;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << sig << " " << status;
    }
}

}  // namespace
}  // namespace norvex
