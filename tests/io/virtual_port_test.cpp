#include "bridge/virtual_port.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bridge/net_port.h"
#include "support/net_util.h"
#include "support/port_program.h"
#include "support/pty_pair.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;
using test::PortProgram;
using test::WaitUntil;
using Bytes = std::vector<uint8_t>;

// A private directory for links, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char tmpl[] = "/tmp/norvex-vport-XXXXXX";
        path_ = ::mkdtemp(tmpl) ? tmpl : "";
    }
    ~TempDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

Bytes Pattern(size_t n, uint8_t seed) {
    Bytes v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
    return v;
}

// What the engine reads from the port until len bytes came or the limit passed.
Bytes ReadPort(NetPort& port, size_t len, std::chrono::milliseconds limit = 5s) {
    Bytes got;
    WaitUntil(
        [&] {
            uint8_t buf[4096];
            int n = port.Read(buf, std::min(sizeof buf, len - got.size()));
            if (n > 0) got.insert(got.end(), buf, buf + n);
            return got.size() >= len || n < 0;
        },
        limit);
    return got;
}

std::unique_ptr<VirtualPort> OpenPort(const std::string& path, VirtualPortOptions o = {}) {
    std::string error;
    auto port = VirtualPort::Open(path, o, &error);
    EXPECT_TRUE(port) << error;
    return port;
}

std::string LinkTarget(const std::string& path) {
    char buf[256];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// ---- a real program on the link -------------------------------------------------------------

// One step of a scenario; the engine's side acts on the port, the program's on the link.
struct Step {
    enum Kind { kOpen, kClose, kProgramWrites, kEngineReads, kEngineWrites, kProgramReads } kind;
    Bytes bytes;  // written, or expected
};

struct Scenario {
    const char* name;
    std::vector<Step> steps;
    uint64_t dropped;  // DroppedBytes() at the end
};

class VirtualPortScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(VirtualPortScenario, ProgramSeesWhatAUserExpects) {
    TempDir dir;
    auto port = OpenPort(dir / "ttyNorvex0");
    ASSERT_TRUE(port);
    PortProgram program(dir / "ttyNorvex0");
    ASSERT_TRUE(program.Started());
    int i = 0;
    for (const Step& s : GetParam().steps) {
        SCOPED_TRACE("step " + std::to_string(i++));
        switch (s.kind) {
            case Step::kOpen:
                ASSERT_TRUE(program.Open());
                break;
            case Step::kClose:
                ASSERT_TRUE(program.Close());
                break;
            case Step::kProgramWrites:
                ASSERT_TRUE(program.Write(s.bytes));
                break;
            case Step::kEngineReads:
                EXPECT_EQ(ReadPort(*port, s.bytes.size()), s.bytes);
                break;
            case Step::kEngineWrites:
                // never fails and never waits, whoever listens
                EXPECT_EQ(port->Write(s.bytes.data(), s.bytes.size()),
                          static_cast<int>(s.bytes.size()));
                break;
            case Step::kProgramReads:
                // a little more is asked for, so that stale bytes in front would show
                EXPECT_EQ(program.Read(s.bytes.size() + 16, 300), s.bytes);
                break;
        }
    }
    EXPECT_EQ(port->DroppedBytes(), GetParam().dropped);
}

const Bytes kModbusRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
const Bytes kModbusReply = {0x01, 0x03, 0x04, 0x00, 0x0D, 0x0A, 0x11, 0x13, 0x7F};

INSTANTIATE_TEST_SUITE_P(
    UserProgram, VirtualPortScenario,
    ::testing::Values(
        Scenario{"BothWaysWhileOpen",
                 {{Step::kOpen, {}},
                  {Step::kProgramWrites, kModbusRequest},
                  {Step::kEngineReads, kModbusRequest},
                  {Step::kEngineWrites, kModbusReply},  // CR, LF, XON, XOFF and DEL pass untouched
                  {Step::kProgramReads, kModbusReply}},
                 0},
        Scenario{"BytesWhileNobodyListensAreDroppedAndCounted",
                 {{Step::kEngineWrites, Pattern(100, 1)},
                  {Step::kOpen, {}},
                  {Step::kEngineWrites, kModbusReply},
                  {Step::kProgramReads, kModbusReply}},
                 100},
        Scenario{"WhatTheProgramWroteBeforeClosingIsRead",
                 {{Step::kOpen, {}},
                  {Step::kProgramWrites, Pattern(3000, 2)},
                  {Step::kClose, {}},
                  {Step::kEngineReads, Pattern(3000, 2)}},
                 0},
        Scenario{"ReopenedProgramGetsOnlyWhatCameAfterItsOpen",
                 {{Step::kOpen, {}},
                  {Step::kEngineWrites, Pattern(40, 3)},  // left unread
                  {Step::kClose, {}},
                  {Step::kEngineWrites, Pattern(20, 4)},  // nobody listens
                  {Step::kOpen, {}},
                  {Step::kEngineWrites, kModbusReply},
                  {Step::kProgramReads, kModbusReply},
                  {Step::kProgramWrites, kModbusRequest},
                  {Step::kEngineReads, kModbusRequest}},
                 20},  // the 40 left unread had reached the terminal: discarded, not dropped
        Scenario{"ManyOpensAndClosesAreNoFailure",
                 {{Step::kOpen, {}},
                  {Step::kClose, {}},
                  {Step::kOpen, {}},
                  {Step::kClose, {}},
                  {Step::kOpen, {}},
                  {Step::kEngineWrites, kModbusReply},
                  {Step::kProgramReads, kModbusReply},
                  {Step::kClose, {}},
                  {Step::kEngineWrites, Pattern(5, 5)}},
                 5}),
    [](const ::testing::TestParamInfo<Scenario>& p) { return std::string(p.param.name); });

TEST(VirtualPortQueue, ProgramThatDoesNotReadNeverStallsTheEngine) {
    TempDir dir;
    auto port = OpenPort(dir / "tty");
    ASSERT_TRUE(port);
    PortProgram program(dir / "tty");
    ASSERT_TRUE(program.Open());
    const Bytes chunk = Pattern(64, 9);
    constexpr int kChunks = 4000;  // 256 KB, far more than a terminal holds
    for (int i = 0; i < kChunks; ++i) ASSERT_EQ(port->Write(chunk.data(), chunk.size()), 64);
    const uint64_t total = 64ull * kChunks;
    EXPECT_GT(port->DroppedBytes(), 0u);
    // what was not dropped waits for the program, in order and whole
    Bytes got = program.Read(total, 500);
    EXPECT_EQ(got.size() + port->DroppedBytes(), total);
    ASSERT_GE(got.size(), 64u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 64), chunk);
}

TEST(VirtualPortLine, ProgramFindsRaw115200_8N1) {
    TempDir dir;
    auto port = OpenPort(dir / "tty");
    ASSERT_TRUE(port);
    PortProgram program(dir / "tty");
    ASSERT_TRUE(program.Open());
    EXPECT_EQ(program.LineSettings(), "115200 115200 1");
    // the settings outlive a program that closes (the next one finds them too)
    ASSERT_TRUE(program.Close());
    ASSERT_TRUE(program.Open());
    EXPECT_EQ(program.LineSettings(), "115200 115200 1");
}

// ---- access ---------------------------------------------------------------------------------

TEST(VirtualPortAccess, TerminalBelongsToTheServiceUserWithTheModeAndGroupAsked) {
    TempDir dir;
    struct Case {
        VirtualPortOptions options;
        mode_t mode;
    };
    const gid_t someGroup = ::getegid() == 0 ? 20 : ::getegid();
    for (const Case& c : {Case{{}, 0600}, Case{{std::to_string(someGroup), 0660}, 0660}}) {
        auto port = OpenPort(dir / "tty", c.options);
        ASSERT_TRUE(port);
        struct stat st {};
        ASSERT_EQ(::stat((dir / "tty").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
        EXPECT_EQ(st.st_uid, ::geteuid());
        if (!c.options.group.empty()) {
            EXPECT_EQ(st.st_gid, someGroup);
        }
    }
}

TEST(VirtualPortAccess, UnknownGroupOrBadModeFailsNamingThePath) {
    TempDir dir;
    const std::string path = dir / "tty";
    for (VirtualPortOptions o :
         {VirtualPortOptions{"no-such-group-here", 0600}, VirtualPortOptions{"", 01777}}) {
        std::string error;
        EXPECT_FALSE(VirtualPort::Open(path, o, &error));
        EXPECT_NE(error.find(path), std::string::npos) << error;
        struct stat st {};
        EXPECT_NE(::lstat(path.c_str(), &st), 0) << "nothing is left at the path";
    }
}

// ---- the link -------------------------------------------------------------------------------

TEST(VirtualPortLink, RulesForWhatIsAlreadyThere) {
    test::PtyPair liveTerminal;  // a terminal of this user that is in use
    ASSERT_TRUE(liveTerminal.Ok());
    struct Case {
        const char* name;
        void (*prepare)(const std::string& path, const std::string& live);
        bool opens;
    };
    const Case cases[] = {
        {"missing directories are made", [](const std::string&, const std::string&) {}, true},
        {"stale link to a vanished terminal is replaced",
         [](const std::string& p, const std::string&) { ::symlink("/dev/pts/99999", p.c_str()); },
         true},
        {"link to a device that is not a terminal is left",
         [](const std::string& p, const std::string&) { ::symlink("/dev/null", p.c_str()); },
         false},
        {"link to a user's regular file is left",
         [](const std::string& p, const std::string&) {
             const std::string file = p.substr(0, p.rfind('/')) + "/notes.txt";
             std::ofstream(file) << "keep me";
             ::symlink(file.c_str(), p.c_str());
         },
         false},
        {"dangling link that never named a terminal is left",
         [](const std::string& p, const std::string&) { ::symlink("/tmp/gone-file", p.c_str()); },
         false},
        {"link to a live terminal of this user is left",
         [](const std::string& p, const std::string& live) { ::symlink(live.c_str(), p.c_str()); },
         false},
        {"regular file is never touched",
         [](const std::string& p, const std::string&) { std::ofstream(p) << "keep me"; }, false},
        {"directory is never touched",
         [](const std::string& p, const std::string&) { ::mkdir(p.c_str(), 0755); }, false},
        {"a directory others may write to is not used",
         [](const std::string& p, const std::string&) {
             ::chmod(p.substr(0, p.rfind('/')).c_str(), 0777);
             ::symlink("/dev/pts/99999", p.c_str());
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = dir / "run/norvex/ttyNorvex0";
        if (std::string(c.name) != "missing directories are made") {
            ::mkdir((dir / "run").c_str(), 0755);
            ::mkdir((dir / "run/norvex").c_str(), 0755);
        }
        c.prepare(path, liveTerminal.SlavePath());
        struct stat before {};
        ::lstat(path.c_str(), &before);
        const std::string targetBefore = LinkTarget(path);

        std::string error;
        auto port = VirtualPort::Open(path, {}, &error);
        EXPECT_EQ(port != nullptr, c.opens) << error;
        if (port) {
            EXPECT_EQ(LinkTarget(path), port->TerminalPath());
            struct stat st {};
            ASSERT_EQ(::stat((dir / "run/norvex").c_str(), &st), 0);
            if (std::string(c.name) == "missing directories are made") {
                EXPECT_EQ(st.st_mode & 0777, 0700u);
            }
            continue;
        }
        EXPECT_NE(error.find(path), std::string::npos) << error;
        struct stat after {};
        ASSERT_EQ(::lstat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(LinkTarget(path), targetBefore);
    }
}

TEST(VirtualPortLink, RemovedAtCloseOnlyWhileItIsStillOurs) {
    TempDir dir;
    const std::string path = dir / "tty";
    {
        auto port = OpenPort(path);
        ASSERT_TRUE(port);
    }
    struct stat st {};
    EXPECT_NE(::lstat(path.c_str(), &st), 0) << "our link is removed";

    for (bool replaceWithFile : {false, true}) {
        auto port = OpenPort(path);
        ASSERT_TRUE(port);
        // someone else took the name meanwhile
        ::unlink(path.c_str());
        if (replaceWithFile)
            std::ofstream(path) << "theirs";
        else
            ::symlink("/dev/null", path.c_str());
        port.reset();
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_EQ(S_ISLNK(st.st_mode), !replaceWithFile);
        ::unlink(path.c_str());
    }
}

TEST(OpenNetPort, NamesChooseVirtualOrSerial) {
    TempDir dir;
    test::PtyPair pair;
    ASSERT_TRUE(pair.Ok());
    std::string error;
    auto vport = OpenNetPort("pty:" + (dir / "v"), &error);
    ASSERT_TRUE(vport) << error;
    EXPECT_EQ(LinkTarget(dir / "v").rfind("/dev/pts/", 0), 0u);
    EXPECT_GE(vport->WatchFd(), 0);

    auto serial = OpenNetPort(pair.SlavePath(), &error);
    ASSERT_TRUE(serial) << error;
    EXPECT_EQ(serial->WatchFd(), -1);
    ASSERT_TRUE(pair.Write(kModbusRequest));
    EXPECT_EQ(ReadPort(*serial, kModbusRequest.size()), kModbusRequest);

    for (const std::string& bad : {std::string("pty:"), dir / "no-such-tty"}) {
        error.clear();
        EXPECT_FALSE(OpenNetPort(bad, &error));
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
}  // namespace norvex
