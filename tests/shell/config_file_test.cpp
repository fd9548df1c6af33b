#include "shell/config_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "shell/panel_config.h"
#include "support/text_file.h"

namespace norvex {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// Files in dir: the configuration and whatever a save left behind.
size_t Entries(const test::TempDir& dir) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()));
}

PanelConfig SampleConfig() {
    PanelConfig c;
    c.netPortName = "/tmp/ttyV1";
    c.appPortName = "/dev/ttyUSB0";
    c.groups = {{"1048576", "工厂一号", "abc123"},
                {"77", "pump house", ""},
                {"1048576", "duplicate id", "p,w,with,commas"}};
    return c;
}

TEST(PanelConfigFormat, WritesHeaderAndGroupLinesEachEndingInCrLf) {
    EXPECT_EQ(
        FormatPanelConfig(SampleConfig(), 1),
        "/tmp/ttyV1\r\n/dev/ttyUSB0\r\n77\r\n"
        "1048576,工厂一号,abc123\r\n77,pump house,\r\n1048576,duplicate id,p,w,with,commas\r\n");
    PanelConfig empty;
    EXPECT_EQ(FormatPanelConfig(empty, -1), "\r\n\r\n\r\n");
    EXPECT_EQ(FormatPanelConfig(SampleConfig(), 7).substr(0, 28),
              "/tmp/ttyV1\r\n/dev/ttyUSB0\r\n\r\n");
}

TEST(PanelConfigFile, SaveThenLoadGivesBackPortsGroupsAndCurrentGroup) {
    test::TempDir dir;
    std::string path = dir.File("NorvexPanel.cfg");
    for (int current : {0, 1, 2}) {
        ASSERT_EQ(SavePanelConfig(path, SampleConfig(), current), ConfigSaveResult::kOk);
        PanelConfig back = LoadPanelConfig(path);
        EXPECT_EQ(back.netPortName, "/tmp/ttyV1");
        EXPECT_EQ(back.appPortName, "/dev/ttyUSB0");
        EXPECT_EQ(back.groups, SampleConfig().groups);
        // two groups share id 1048576: the last of them becomes current
        int expected = current == 1 ? 1 : 2;
        EXPECT_EQ(ChooseCurrentGroup(back), expected) << current;
    }
}

struct ParseCase {
    const char* what;
    std::string bytes;
    std::string net, app, stored;
    std::vector<GroupRecord> groups;
    int badLine = 0;  // the first line a rewrite would lose
};

TEST(PanelConfigParse, ReadsRecordsUntilTheFirstLineThatDoesNotFit) {
    const std::string head = "COM1\r\nCOM2\r\ng1\r\n";
    // clang-format off
    const ParseCase cases[] = {
        {"empty file", "", "", "", "", {}},
        {"headers only", head, "COM1", "COM2", "g1", {}},
        {"password runs to its line end, commas included", head + "g1,n1,a,b,c\r\ng2,n2,x\r\n",
         "COM1", "COM2", "g1", {{"g1", "n1", "a,b,c"}, {"g2", "n2", "x"}}},
        {"a comma written inside a name moves into the password", head + "g1,na,me,pw\r\n",
         "COM1", "COM2", "g1", {{"g1", "na", "me,pw"}}},
        {"empty password", head + "g1,n1,\r\ng2,n2,p2\r\n", "COM1", "COM2", "g1",
         {{"g1", "n1", ""}, {"g2", "n2", "p2"}}},
        {"empty name ends the list", head + "g1,,pw\r\ng2,n2,p2\r\n", "COM1", "COM2", "g1",
         {{"g1", "", ""}}, 4},
        {"no second comma ends the list", head + "g1,n1\r\ng2,n2,p2\r\n", "COM1", "COM2", "g1",
         {{"g1", "", ""}}, 4},
        {"blank lines between group lines are skipped",
         head + "\r\ng1,n1,p1\r\n\r\n\n\r\ng2,n2,p2\r\n\r\n", "COM1", "COM2", "g1",
         {{"g1", "n1", "p1"}, {"g2", "n2", "p2"}}},
        {"line without comma ends the list", head + "g1,n1,p1\r\njunk\r\ng2,n2,p2\r\n", "COM1",
         "COM2", "g1", {{"g1", "n1", "p1"}}, 5},
        {"empty id ends the list", head + ",n1,p1\r\n", "COM1", "COM2", "g1", {}, 4},
        {"last line without CR LF", head + "g1,n1,p1\r\ng2,n2,tail", "COM1", "COM2", "g1",
         {{"g1", "n1", "p1"}, {"g2", "n2", "tail"}}},
        {"LF line ends, a CR before one is not part of the value",
         "COM1\nCOM2\r\nx\ng1,n1,p1\ng2,n2,p\r\r\n", "COM1", "COM2", "x",
         {{"g1", "n1", "p1"}, {"g2", "n2", "p\r"}}},
        {"short file: a header without a line end reads as empty", "COM1\r\nCOM2", "COM1", "", "",
         {}, 2},
        {"byte-order mark is kept in the first value", "\xEF\xBB\xBF" "COM1\r\nCOM2\r\n\r\n",
         "\xEF\xBB\xBF" "COM1", "COM2", "", {}},
        {"invalid UTF-8 becomes U+FFFD, one per bad sequence",
         "\xB4\xAE\xBF\xDA" "1\r\nA\xC0\xAF" "B\r\n\xED\xA0\x80\r\nid,\xE5\xB7,\xF0\x9F\x98\x80\r\n",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "1",
         "A\xEF\xBF\xBD\xEF\xBF\xBD" "B", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         {{"id", "\xEF\xBF\xBD", "\xF0\x9F\x98\x80"}}, 1},
        {"a zero byte ends the text", std::string("COM1\r\nCO\0M2\r\nx\r\n", 16), "COM1", "", "", {},
         2},
    };
    // clang-format on
    for (const ParseCase& c : cases) {
        PanelConfig got = ParsePanelConfig(c.bytes);
        EXPECT_EQ(got.netPortName, c.net) << c.what;
        EXPECT_EQ(got.appPortName, c.app) << c.what;
        EXPECT_EQ(got.storedGroupId, c.stored) << c.what;
        EXPECT_EQ(got.groups, c.groups) << c.what;
        EXPECT_EQ(ReadPanelConfigText(c.bytes).badLine, c.badLine) << c.what;
    }
}

TEST(PanelConfigFile, MissingAndEmptyFilesLoadAsNoPortsAndNoGroups) {
    test::TempDir dir;
    WriteFile(dir.File("empty.cfg"), "");
    for (const char* name : {"missing.cfg", "empty.cfg"}) {
        PanelConfig c = LoadPanelConfig(dir.File(name));
        EXPECT_TRUE(c.netPortName.empty() && c.appPortName.empty() && c.storedGroupId.empty())
            << name;
        EXPECT_TRUE(c.groups.empty()) << name;
        EXPECT_EQ(ChooseCurrentGroup(c), -1) << name;
    }
    PanelConfig unmatched = ParsePanelConfig("a\r\nb\r\nnobody\r\ng1,n,p\r\ng2,n,p\r\n");
    EXPECT_EQ(ChooseCurrentGroup(unmatched), 0);
}

TEST(PanelConfigFile, IsOwnerOnlyWhateverTheUmaskAndTheOldFileMode) {
    test::TempDir dir;
    std::string path = dir.File("NorvexPanel.cfg");
    WriteFile(path, "old");
    ::chmod(path.c_str(), 0644);
    mode_t old = ::umask(0);
    ConfigSaveResult r = SavePanelConfig(path, SampleConfig(), 0);
    ::umask(old);
    ASSERT_EQ(r, ConfigSaveResult::kOk);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Entries(dir), 1u) << "no temporary file left behind";
}

TEST(PanelConfigFile, SaveThatFailsHalfWayLeavesTheOldFileIntact) {
    test::TempDir dir;
    std::string path = dir.File("NorvexPanel.cfg");
    ASSERT_EQ(SavePanelConfig(path, SampleConfig(), 0), ConfigSaveResult::kOk);
    const std::string before = test::ReadTextFile(path);

    PanelConfig bigger = SampleConfig();
    for (int i = 0; i < 50; ++i) bigger.groups.push_back({"g" + std::to_string(i), "n", "secret"});
    // The child runs the save under a file-size limit smaller than the new content: the write
    // fails part-way, as it would on a full disk.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{64, 64};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        ::_exit(static_cast<int>(SavePanelConfig(path, bigger, 3)));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ConfigSaveResult::kWriteFailed));
    EXPECT_EQ(test::ReadTextFile(path), before);
    EXPECT_EQ(LoadPanelConfig(path).groups, SampleConfig().groups);
    EXPECT_EQ(Entries(dir), 1u) << "the partial temporary file is removed";
}

TEST(PanelConfigFile, SaveIntoAMissingDirectoryCannotCreate) {
    test::TempDir dir;
    EXPECT_EQ(SavePanelConfig(dir.File("no/such/dir/NorvexPanel.cfg"), SampleConfig(), 0),
              ConfigSaveResult::kCannotCreate);
}

}  // namespace
}  // namespace norvex
