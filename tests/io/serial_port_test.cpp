#include "bridge/serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/net_util.h"
#include "support/pty_pair.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::WaitUntil;

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// every byte value, the line-discipline specials among them (CR, LF, ^C, XON, XOFF, DEL)
std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> v(256);
    for (int i = 0; i < 256; ++i) v[i] = static_cast<uint8_t>(i);
    return v;
}

// Reads from the port until len bytes came or the limit passed.
std::vector<uint8_t> ReadPort(SerialPort& port, size_t len, std::chrono::milliseconds limit) {
    std::vector<uint8_t> got;
    WaitUntil(
        [&] {
            uint8_t buf[512];
            int n = port.Read(buf, std::min(sizeof buf, len - got.size()));
            if (n > 0) got.insert(got.end(), buf, buf + n);
            return got.size() >= len || n < 0;
        },
        limit);
    return got;
}

TEST(SerialPortOpen, OpensByPathAndByNameUnderDev) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    const std::string path = pty.SlavePath();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u);
    for (const std::string& name : {path, path.substr(5)}) {
        SCOPED_TRACE(name);
        SerialPort port;
        ASSERT_TRUE(port.Open(name)) << port.LastError();
        EXPECT_TRUE(port.IsOpen());
        EXPECT_GE(port.Fd(), 0);
        EXPECT_EQ(port.Path(), path);
        port.Close();
        EXPECT_FALSE(port.IsOpen());
        port.Close();  // twice is harmless
    }
}

TEST(SerialPortOpen, RefusesWhatIsNotAnOpenableTty) {
    char file[] = "/tmp/norvex-notatty-XXXXXX";
    int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    for (const std::string& name : {std::string(), std::string("/dev/null"), std::string(file),
                                    std::string("/dev/norvex-no-such-port"), std::string("/tmp")}) {
        SCOPED_TRACE(name);
        SerialPort port;
        EXPECT_FALSE(port.Open(name));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_FALSE(port.LastError().empty());
        EXPECT_EQ(port.Read(nullptr, 0), -1);
        EXPECT_EQ(port.InputCount(), -1);
    }
    ::unlink(file);
}

TEST(SerialPortOpen, SecondDescriptorIsRefusedUntilTheFirstCloses) {
    PtyPair pty;
    SerialPort first;
    ASSERT_TRUE(first.Open(pty.SlavePath())) << first.LastError();
    SerialPort second;
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_NE(second.LastError().find("in use"), std::string::npos) << second.LastError();
    first.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath())) << second.LastError();
}

TEST(SerialPortOpen, PortHeldByAnotherProcessFailsAtOnce) {
    PtyPair pty;
    char marker[] = "/tmp/norvex-held-XXXXXX";
    int mfd = ::mkstemp(marker);
    ASSERT_GE(mfd, 0);
    ::close(mfd);
    ::unlink(marker);
    // flock(1) takes the same advisory lock that terminal programs take on their port; the
    // shell keeps the descriptor and becomes the sleep, so that stopping it frees the port
    // (touch gets no copy: one still exiting after the stop would hold the lock a moment longer)
    test::ChildProcess holder;
    ASSERT_TRUE(holder.Start({"/bin/sh", "-c",
                              "exec 9<>" + pty.SlavePath() + " && /usr/bin/flock -n 9 && touch " +
                                  marker + " 9>&- && exec sleep 60"}));
    ASSERT_TRUE(WaitUntil([&] { return ::access(marker, F_OK) == 0; }, 5s));

    SerialPort port;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.Open(pty.SlavePath()));
    auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_LT(took, 1s) << "an open of a held port must not wait for it";
    EXPECT_EQ(port.LastErrno(), EWOULDBLOCK);

    holder.Stop();
    EXPECT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    ::unlink(marker);
}

TEST(SerialPortOpen, AppliesRawLineSettings) {
    PtyPair pty;
    // leave the port cooked, slow, with parity and flow control, as another program might
    {
        int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        t.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP;
        t.c_oflag |= OPOST | ONLCR;
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
        ::close(fd);
    }
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    termios t{};
    ASSERT_EQ(::tcgetattr(port.Fd(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | INLCR | IGNCR), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(fcntl(port.Fd(), F_GETFL) & O_NONBLOCK, 0);
}

TEST(SerialPortOpen, DiscardsBytesThatWereWaiting) {
    PtyPair pty;
    // another descriptor keeps the line open (raw, no lock) while stale bytes arrive
    int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(other, &t), 0);
    ::cfmakeraw(&t);
    ASSERT_EQ(::tcsetattr(other, TCSANOW, &t), 0);
    ASSERT_TRUE(pty.Write("stale", 5));
    int waiting = 0;
    ASSERT_TRUE(
        WaitUntil([&] { return ::ioctl(other, FIONREAD, &waiting) == 0 && waiting == 5; }, 2s));

    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    ::close(other);
    EXPECT_EQ(port.InputCount(), 0);
    uint8_t buf[16];
    EXPECT_EQ(port.Read(buf, sizeof buf), 0);
    // what comes after the open is kept
    ASSERT_TRUE(pty.Write("new", 3));
    EXPECT_EQ(ReadPort(port, 3, 2s), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST(SerialPortOpen, MovedPortKeepsTheLine) {
    PtyPair pty;
    SerialPort first;
    ASSERT_TRUE(first.Open(pty.SlavePath()));
    SerialPort moved(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    ASSERT_TRUE(moved.IsOpen());
    SerialPort assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved.IsOpen());
    ASSERT_TRUE(pty.Write("x", 1));
    EXPECT_EQ(ReadPort(assigned, 1, 2s), (std::vector<uint8_t>{'x'}));
}

TEST(SerialPortData, EveryByteValuePassesBothWaysAndIsCounted) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    const auto bytes = AllByteValues();

    EXPECT_EQ(port.InputCount(), 0);
    uint8_t none[4];
    EXPECT_EQ(port.Read(none, sizeof none), 0);

    ASSERT_TRUE(pty.Write(bytes));
    ASSERT_TRUE(WaitUntil([&] { return port.InputCount() == 256; }, 2s)) << port.InputCount();
    uint8_t part[64];
    ASSERT_EQ(port.Read(part, sizeof part), 64);
    EXPECT_EQ(port.InputCount(), 192);
    auto rest = ReadPort(port, 192, 2s);
    std::vector<uint8_t> got(part, part + 64);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, bytes);

    ASSERT_EQ(port.Write(bytes.data(), bytes.size()), 256);
    EXPECT_EQ(pty.Read(256, 2000), bytes);
}

TEST(SerialPortData, LargeWriteContinuesWhileTheOtherSideReadsSlowly) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    // far more than a pty buffers: the write must wait and continue many times
    const auto bytes = RandomBytes(256 * 1024, 7);
    std::vector<uint8_t> got;
    std::thread reader([&] {
        auto deadline = std::chrono::steady_clock::now() + 30s;
        while (got.size() < bytes.size() && std::chrono::steady_clock::now() < deadline) {
            auto chunk = pty.Read(std::min<size_t>(2048, bytes.size() - got.size()), 100);
            got.insert(got.end(), chunk.begin(), chunk.end());
            pollfd none{-1, 0, 0};
            ::poll(&none, 1, 1);  // a slow application
        }
    });
    int n = port.Write(bytes.data(), bytes.size());
    reader.join();
    EXPECT_EQ(n, static_cast<int>(bytes.size())) << port.LastError();
    EXPECT_TRUE(got == bytes) << "received " << got.size() << " of " << bytes.size();
}

TEST(SerialPortFailure, HangUpIsReportedWithoutWaitingOrSpinning) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    pty.CloseMaster();

    // poll wakes at once with the hang-up...
    pollfd pfd{port.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 2000), 1);
    EXPECT_NE(pfd.revents & (POLLHUP | POLLERR), 0);
    // ...and each operation says the port failed instead of "nothing yet"
    uint8_t buf[64];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(port.Read(buf, sizeof buf), -1);
    EXPECT_EQ(port.InputCount(), -1);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(port.Write(buf, sizeof buf), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s) << "a dead port must not be waited for";
    EXPECT_FALSE(port.LastError().empty());
}

TEST(SerialPortFailure, WriteGivesUpWhenNobodyReads) {
    PtyPair pty;
    SerialPort port;
    ASSERT_TRUE(port.Open(pty.SlavePath())) << port.LastError();
    // the application side never reads: once the pty's buffers are full, one more byte can only
    // time out, after the line's limit for one byte (2000 + 2000 ms)
    // the pty moves bytes to the other side behind our back: fill until it stays full
    std::vector<uint8_t> fill(4096, 0x55);
    int wrote = 0;
    bool full = false;
    for (int round = 0; round < 1000 && !full; ++round) {
        while (::write(port.Fd(), fill.data(), fill.size()) > 0) wrote += 4096;
        pollfd pfd{port.Fd(), POLLOUT, 0};
        full = ::poll(&pfd, 1, 100) == 0;
    }
    ASSERT_TRUE(full) << wrote;
    uint8_t one = 1;
    EXPECT_EQ(port.Write(&one, 1), -1);
    EXPECT_EQ(port.LastErrno(), ETIMEDOUT);
}

}  // namespace
}  // namespace norvex
