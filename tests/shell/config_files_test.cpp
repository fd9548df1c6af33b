// One table of configuration files as users and accidents leave them, read by norvexd's loader
// and extended by norvex-group (a process, against a loopback group service).  Neither may
// lose a group, replace anything that is not a regular file, or wait on a FIFO.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "shell/config_file.h"
#include "shell/service_config.h"
#include "support/child_process.h"
#include "support/pty_pair.h"
#include "support/raw_http_server.h"
#include "support/text_file.h"

namespace norvex {
namespace {

namespace fs = std::filesystem;
using Status = ConfigFileRead::Status;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A unix socket's node at path; it stays when the socket is closed.
void MakeSocketNode(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::close(fd);
}

// What stands at path, without following a link: kind, link target and content.
std::string Snapshot(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    if (S_ISLNK(st.st_mode)) return "link to " + fs::read_symlink(path).string();
    if (S_ISREG(st.st_mode)) return "file: " + test::ReadTextFile(path);
    return "mode " + std::to_string(st.st_mode & S_IFMT);
}

const std::string kLf = "/dev/ttyS0\n\nA1\nA1,a,pa\nB2,b,pb\nC3,c,pc\n";
const std::string kCrLf = "/dev/ttyS0\r\n\r\nA1\r\nA1,a,pa\r\nB2,b,pb\r\nC3,c,pc\r\n";
const std::string kThreeGroups =
    "/dev/ttyS0\r\n\r\n42\r\nA1,a,pa\r\nB2,b,pb\r\nC3,c,pc\r\n"
    "42,pump,Pw4tool\r\n";

struct FileCase {
    const char* what;
    std::function<std::string(const test::TempDir&)> make;  // returns the --config path
    Status status;
    std::string problem;   // part of the loader's problem text
    size_t groups;         // groups the loader gives
    bool serviceStarts;    // norvexd's loader hands on a configuration
    bool toolWrites;       // norvex-group adds the group (else it changes nothing)
    std::string written;   // the file norvex-group leaves (where toolWrites)
    std::string toolSays;  // part of its message (where it refuses)
};

std::string Plain(const test::TempDir& dir, const std::string& bytes) {
    WriteFile(dir.File("c.cfg"), bytes);
    return dir.File("c.cfg");
}

std::vector<FileCase> Cases() {
    const std::string bad = "p\r\n\r\nA1\r\nA1,a,pa\r\njunk\r\nB2,b,pb\r\n";
    return {
        {"LF line ends", [](auto& d) { return Plain(d, kLf); }, Status::kOk, "", 3, true, true,
         kThreeGroups, ""},
        {"CR LF line ends", [](auto& d) { return Plain(d, kCrLf); }, Status::kOk, "", 3, true, true,
         kThreeGroups, ""},
        {"blank lines between group lines",
         [](auto& d) { return Plain(d, "p\r\n\r\nA1\r\n\r\nA1,a,pa\n\n\r\nB2,b,pb\r\n\r\n"); },
         Status::kOk, "", 2, true, true, "p\r\n\r\n42\r\nA1,a,pa\r\nB2,b,pb\r\n42,pump,Pw4tool\r\n",
         ""},
        {"a line that does not parse", [bad](auto& d) { return Plain(d, bad); },
         Status::kIncomplete, "line 5 is not \"id,name,password\"", 1, true, false, "", "line 5"},
        {"bytes that are not UTF-8",
         [](auto& d) { return Plain(d, "p\r\n\r\nA1\r\nA1,\xE5\xB7,x\r\n"); }, Status::kIncomplete,
         "line 4 is not UTF-8", 1, true, false, "", "line 4 is not UTF-8"},
        {"a byte-order mark stays in the first value",
         [](auto& d) { return Plain(d, "\xEF\xBB\xBFp\r\n\r\n\r\nA1,a,pa\r\n"); }, Status::kOk, "",
         1, true, true, "\xEF\xBB\xBFp\r\n\r\n42\r\nA1,a,pa\r\n42,pump,Pw4tool\r\n", ""},
        {"a symlink: its target is written, the link stays",
         [](auto& d) {
             WriteFile(d.File("real.cfg"), kCrLf);
             fs::create_symlink("real.cfg", d.File("c.cfg"));
             return d.File("c.cfg");
         },
         Status::kOk, "", 3, true, true, kThreeGroups, ""},
        {"a FIFO nobody writes",
         [](auto& d) {
             ::mkfifo(d.File("c.cfg").c_str(), 0600);
             return d.File("c.cfg");
         },
         Status::kUnreadable, "is a FIFO, not a regular file", 0, false, false, "", "FIFO"},
        {"a directory",
         [](auto& d) {
             fs::create_directory(d.File("c.cfg"));
             return d.File("c.cfg");
         },
         Status::kUnreadable, "Is a directory", 0, false, false, "", "Is a directory"},
        {"a socket",
         [](auto& d) {
             MakeSocketNode(d.File("c.cfg"));
             return d.File("c.cfg");
         },
         Status::kUnreadable, "is a socket, not a regular file", 0, false, false, "", "socket"},
        {"a symlink loop",
         [](auto& d) {
             fs::create_symlink("b.cfg", d.File("c.cfg"));
             fs::create_symlink("c.cfg", d.File("b.cfg"));
             return d.File("c.cfg");
         },
         Status::kUnreadable, "Too many levels of symbolic links", 0, false, false, "",
         "Too many levels"},
        {"a path through a file (unreadable even for root)",
         [](auto& d) {
             WriteFile(d.File("plain"), "x");
             return d.File("plain/c.cfg");
         },
         Status::kUnreadable, "Not a directory", 0, false, false, "", "Not a directory"},
        {"a group ID longer than the file allows",
         [](auto& d) { return Plain(d, "p\r\n\r\n\r\n" + std::string(100000, '7') + ",a,pa\r\n"); },
         Status::kOk, "", 1, false, true, "", ""},
        {"no file yet", [](auto& d) { return d.File("c.cfg"); }, Status::kMissing, "", 0, true,
         true, "\r\n\r\n42\r\n42,pump,Pw4tool\r\n", ""},
    };
}

TEST(ConfigFiles, NorvexdsLoaderNamesTheCauseAndKeepsWhatItCouldRead) {
    for (const FileCase& c : Cases()) {
        test::TempDir dir;
        const std::string path = c.make(dir);
        ConfigFileRead read = ReadPanelConfigFile(path);
        EXPECT_EQ(read.status, c.status) << c.what;
        EXPECT_NE(read.problem.find(c.problem), std::string::npos)
            << c.what << ": " << read.problem;
        EXPECT_EQ(read.config.groups.size(), c.groups) << c.what;

        ServiceConfigLoad load = LoadServiceConfig(path);
        EXPECT_EQ(load.config.has_value(), c.serviceStarts) << c.what;
        bool quiet = c.status == Status::kOk || c.status == Status::kMissing;
        EXPECT_EQ(load.lines.empty(), quiet && c.serviceStarts) << c.what;
        for (const std::string& line : load.lines) {
            EXPECT_NE(line.find(path), std::string::npos) << c.what << ": " << line;
            EXPECT_LT(line.size(), 300u) << c.what;
        }
    }
}

TEST(ConfigFiles, NorvexGroupAddsTheGroupOrRefusesAndChangesNothing) {
    test::RawHttpServer server([](const std::string& request) {
        bool right = test::RawHttpServer::Target(request).ends_with("&pwd=Pw4tool");
        return test::RawHttpServer::Response(200, right ? "42,pump,2026-01-01 10:00:00" : "err");
    });
    ASSERT_TRUE(server.Ok());
    for (const FileCase& c : Cases()) {
        test::TempDir dir;
        const std::string path = c.make(dir);
        WriteFile(dir.File("pw"), "Pw4tool\n");
        const std::string before = Snapshot(path);
        size_t requests = server.Requests().size();
        std::string output;
        int rc = test::RunProgram({NORVEX_GROUP_BIN, "add", "--id", "42", "--password-file",
                                   dir.File("pw"), "--config", path},
                                  {"NORVEX_GROUP_SERVICE=" + server.HostPort()}, &output,
                                  std::chrono::seconds(20));
        if (!c.toolWrites) {
            EXPECT_EQ(rc, 1) << c.what << ": " << output;
            EXPECT_NE(output.find(c.toolSays), std::string::npos) << c.what << ": " << output;
            EXPECT_EQ(Snapshot(path), before) << c.what;
            EXPECT_EQ(server.Requests().size(), requests) << c.what << ": nothing is sent";
            continue;
        }
        EXPECT_EQ(rc, 0) << c.what << ": " << output;
        if (!c.written.empty()) {
            EXPECT_EQ(test::ReadTextFile(path), c.written) << c.what;
        }
        if (before.starts_with("link")) {
            EXPECT_EQ(Snapshot(path), before) << c.what;
        }
    }
}

// A character device is refused, never replaced: a pty slave made here stands in for one.
TEST(ConfigFiles, ALinkToACharacterDeviceIsRefusedAndTheDeviceKept) {
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    test::TempDir dir;
    const std::string link = dir.File("c.cfg");
    fs::create_symlink(pty.SlavePath(), link);
    ConfigFileRead read = ReadPanelConfigFile(link);
    EXPECT_EQ(read.status, Status::kUnreadable);
    EXPECT_EQ(read.problem, "is a character device, not a regular file");
    std::string reason;
    EXPECT_EQ(SavePanelConfig(link, PanelConfig{}, -1, &reason), ConfigSaveResult::kCannotCreate);
    EXPECT_EQ(reason, "is a character device, not a regular file");
    struct stat st {};
    ASSERT_EQ(::lstat(pty.SlavePath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST(ConfigFiles, AFileWithoutReadPermissionIsReportedWithTheSystemsReason) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads a file whatever its mode";
    test::TempDir dir;
    WriteFile(dir.File("c.cfg"), kCrLf);
    ::chmod(dir.File("c.cfg").c_str(), 0);
    ConfigFileRead read = ReadPanelConfigFile(dir.File("c.cfg"));
    EXPECT_EQ(read.status, Status::kUnreadable);
    EXPECT_EQ(read.problem, "Permission denied");
    std::string reason;
    EXPECT_EQ(SavePanelConfig(dir.File("c.cfg"), PanelConfig{}, -1, &reason),
              ConfigSaveResult::kCannotCreate);
    EXPECT_EQ(reason, "Permission denied");
}

}  // namespace
}  // namespace norvex
