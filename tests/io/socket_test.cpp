#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "bridge/broker_socket.h"
#include "mqtt/mqtt_session.h"
#include "support/loopback_listener.h"
#include "support/net_util.h"

namespace norvex {
namespace {

using namespace std::chrono_literals;
using test::LoopbackListener;
using test::WaitUntil;

// A connected pair: our socket and the peer's accepted descriptor.
struct Connection {
    LoopbackListener listener;
    BrokerSocket sock;
    int peer = -1;

    Connection() {
        if (!listener.Ok() || sock.BeginConnect("127.0.0.1", listener.Port()) != 0) return;
        peer = listener.Accept(2000);
        WaitUntil([&] { return sock.PollConnect(100) != 0; }, 2s);
    }
    ~Connection() {
        if (peer >= 0) ::close(peer);
    }
    bool Ok() const { return peer >= 0 && sock.IsConnected(); }
};

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

// Reads from a blocking descriptor until len bytes, EOF or an error.
std::vector<uint8_t> ReadPeer(int fd, size_t len, size_t chunk = 65536) {
    std::vector<uint8_t> got;
    std::vector<uint8_t> buf(chunk);
    while (got.size() < len) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 5000) <= 0) break;
        ssize_t n = ::recv(fd, buf.data(), std::min(chunk, len - got.size()), 0);
        if (n <= 0) break;
        got.insert(got.end(), buf.begin(), buf.begin() + n);
    }
    return got;
}

TEST(SocketConnect, ConnectsWithNagleOff) {
    Connection c;
    ASSERT_TRUE(c.Ok());
    EXPECT_EQ(c.sock.PollConnect(0), 1);
    int nodelay = 0;
    socklen_t len = sizeof nodelay;
    ASSERT_EQ(::getsockopt(c.sock.Fd(), IPPROTO_TCP, TCP_NODELAY, &nodelay, &len), 0);
    EXPECT_NE(nodelay, 0);
    c.sock.Close();
    c.sock.Close();
    EXPECT_FALSE(c.sock.IsOpen());
    EXPECT_EQ(c.sock.PollConnect(0), -1);
}

TEST(SocketConnect, RefusedConnectFailsAndClosesTheSocket) {
    int port = test::FreeLoopbackPort();
    ASSERT_GT(port, 0);
    BrokerSocket sock;
    int r = sock.BeginConnect("127.0.0.1", port);
    if (r == 0) {
        int outcome = 0;
        ASSERT_TRUE(WaitUntil([&] { return (outcome = sock.PollConnect(100)) != 0; }, 2s));
        EXPECT_EQ(outcome, -1);
    }
    EXPECT_FALSE(sock.IsOpen());
    EXPECT_EQ(sock.LastErrno(), ECONNREFUSED);
    uint8_t buf[4];
    EXPECT_EQ(SocketReader(&sock, buf, sizeof buf), -1);
}

TEST(SocketConnect, UnusableAddressesFailAtOnce) {
    struct Case {
        const char* host;
        int port;
    };
    for (const Case& c : {Case{"not-an-address", 6002}, Case{"", 6002}, Case{"127.0.0.1", 0},
                          Case{"127.0.0.1", 70000}, Case{"300.1.1.1", 6002}}) {
        SCOPED_TRACE(c.host);
        BrokerSocket sock;
        EXPECT_EQ(sock.BeginConnect(c.host, c.port), -1);
        EXPECT_FALSE(sock.IsOpen());
    }
}

TEST(SocketReader, ReportsNothingDataAndEveryKindOfEnd) {
    enum class End { kOrderlyClose, kReset };
    for (End end : {End::kOrderlyClose, End::kReset}) {
        SCOPED_TRACE(end == End::kReset ? "reset" : "orderly close");
        Connection c;
        ASSERT_TRUE(c.Ok());
        uint8_t buf[64];
        EXPECT_EQ(SocketReader(&c.sock, buf, sizeof buf), 0);
        EXPECT_EQ(SocketReader(&c.sock, buf, 0), 0) << "a full buffer is not a closed peer";

        ASSERT_EQ(::send(c.peer, "abc", 3, 0), 3);
        int n = 0;
        ASSERT_TRUE(
            WaitUntil([&] { return (n = SocketReader(&c.sock, buf, sizeof buf)) != 0; }, 2s));
        ASSERT_EQ(n, 3);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "abc");

        if (end == End::kReset) {
            test::CloseWithReset(c.peer);
        } else {
            ::close(c.peer);
        }
        c.peer = -1;
        ASSERT_TRUE(
            WaitUntil([&] { return (n = SocketReader(&c.sock, buf, sizeof buf)) != 0; }, 2s));
        EXPECT_EQ(n, -1);
        if (end == End::kReset) {
            EXPECT_EQ(c.sock.LastErrno(), ECONNRESET);
        }
    }
}

TEST(SocketWriter, WritesTheWholeGatherListWhileThePeerReadsSlowly) {
    Connection c;
    ASSERT_TRUE(c.Ok());
    // several MiB in uneven pieces, far beyond the socket buffers: sends are partial and block
    const auto bytes = RandomBytes(6 * 1024 * 1024 + 17, 3);
    std::vector<mqtt::IoVec> pairs;
    const uint32_t sizes[] = {5, 0, 1, 3 * 1024 * 1024, 64, 2 * 1024 * 1024};
    size_t at = 0;
    for (uint32_t s : sizes) {
        pairs.push_back({bytes.data() + at, s});
        at += s;
    }
    pairs.push_back({bytes.data() + at, static_cast<uint32_t>(bytes.size() - at)});

    std::vector<uint8_t> got;
    std::thread reader([&] { got = ReadPeer(c.peer, bytes.size(), 8192); });
    int32_t n = SocketWriter(&c.sock, pairs.data(), static_cast<int32_t>(pairs.size()));
    reader.join();
    EXPECT_EQ(n, static_cast<int32_t>(bytes.size()));
    EXPECT_TRUE(got == bytes) << "peer got " << got.size() << " of " << bytes.size();
}

TEST(SocketWriter, GivesUpWhenThePeerNeverReads) {
    Connection c;
    ASSERT_TRUE(c.Ok());
    std::vector<uint8_t> big(1 << 20, 0xAA);
    iovec v{big.data(), big.size()};
    int32_t r = 0;
    // the kernel buffers a few MiB before a send would block
    for (int i = 0; i < 64 && r >= 0; ++i) {
        v = {big.data(), big.size()};
        r = c.sock.SendAll(&v, 1, 200);
    }
    EXPECT_EQ(r, -1);
    EXPECT_EQ(c.sock.LastErrno(), ETIMEDOUT);
}

TEST(SocketWriter, PeerGoneFailsWithoutSigpipe) {
    // the default action of SIGPIPE would end this test process
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    struct sigaction old {};
    ASSERT_EQ(::sigaction(SIGPIPE, &dfl, &old), 0);
    for (bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "closed");
        Connection c;
        ASSERT_TRUE(c.Ok());
        if (reset) {
            test::CloseWithReset(c.peer);
        } else {
            ::close(c.peer);
        }
        c.peer = -1;
        const uint8_t packet[] = {0x30, 0x03, 0x00, 0x01, 0x41};
        mqtt::IoVec pair{packet, sizeof packet};
        int32_t r = 0;
        // the first send after an orderly close may still be taken; the peer answers with a reset
        ASSERT_TRUE(WaitUntil([&] { return (r = SocketWriter(&c.sock, &pair, 1)) < 0; }, 2s));
        EXPECT_EQ(r, -1);
    }
    ::sigaction(SIGPIPE, &old, nullptr);
}

TEST(SocketWriter, EmptyListAndClosedSocket) {
    Connection c;
    ASSERT_TRUE(c.Ok());
    EXPECT_EQ(SocketWriter(&c.sock, nullptr, 0), 0);
    const uint8_t b = 1;
    mqtt::IoVec pair{&b, 1};
    c.sock.Close();
    EXPECT_EQ(SocketWriter(&c.sock, &pair, 1), -1);
    EXPECT_EQ(SocketWriter(nullptr, &pair, 1), -1);
}

}  // namespace
}  // namespace norvex
