// Clients that open a connection and send half a request, or nothing, must not keep anyone
// else from being served.  Correctness only: how fast is measured in bench/groupd.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "groupd_fixture.h"
#include "groupservice/group_requests.h"
#include "groupservice/new_group.h"

namespace norvex {
namespace {

using test::GroupdTest;

// Held connections that sent the start of a request and then nothing.
class HalfOpen {
public:
    ~HalfOpen() {
        for (int fd : fds_) ::close(fd);
    }
    // count connections from source; false when one could not be made.
    bool Open(const char* source, int port, int count) {
        for (int i = 0; i < count; ++i) {
            int fd = test::ConnectLoopbackFrom(source, port);
            if (fd < 0) return false;
            fds_.push_back(fd);
            const char part[] = "GET /norvex/getgroupdevices.asp?groupid=1 HTTP/1.1\r\nHost: x";
            if (::send(fd, part, sizeof part - 1, MSG_NOSIGNAL) <= 0) return false;
        }
        return true;
    }
    // Connections the server has closed (end of stream or reset).
    int Closed() const {
        int closed = 0;
        for (int fd : fds_) {
            pollfd p{fd, POLLIN, 0};
            char c;
            if (::poll(&p, 1, 0) == 1 && ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) ++closed;
        }
        return closed;
    }
    int Count() const { return static_cast<int>(fds_.size()); }

private:
    std::vector<int> fds_;
};

constexpr auto kPatience = std::chrono::seconds(30);

// Long enough that no held connection times out while a test looks at it.
class IdleClientsTest : public GroupdTest {
protected:
    void SetUp() override {
        serviceOptions_ = {"--client-timeout", "120000"};
        GroupdTest::SetUp();
    }
};

TEST_F(IdleClientsTest, HalfSentRequestsFromManyAddressesDoNotKeepAFreshOneWaiting) {
    HalfOpen idle;
    const char* sources[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5",
                             "127.0.0.6", "127.0.0.7", "127.0.0.8", "127.0.0.9"};
    for (const char* source : sources) ASSERT_TRUE(idle.Open(source, port_, 16)) << source;
    // more than a thread per client would ever have been allowed
    EXPECT_EQ(Client().HttpGet(GroupDevicesPath("nosuchgroup")), "err");
    EXPECT_EQ(idle.Closed(), 0);  // within their time, they are waited for
}

TEST_F(IdleClientsTest, OneAddressGetsAtMostItsShareOfConnections) {
    HalfOpen idle;
    ASSERT_TRUE(idle.Open("127.0.0.2", port_, 48));
    // 32 stay open; the oldest make room for the newer ones
    EXPECT_TRUE(test::WaitUntil([&] { return idle.Closed() >= 16; }, kPatience));
    EXPECT_EQ(idle.Closed(), 16);
    EXPECT_EQ(Client().HttpGet(GroupDevicesPath("nosuchgroup")), "err");  // another address
}

// Idle connections cannot lock their own address out: a newcomer takes the place of the oldest.
TEST_F(IdleClientsTest, AFreshRequestIsAnsweredPastHundredsOfIdleOnesFromItsOwnAddress) {
    std::vector<int> idle;
    for (int i = 0; i < 500; ++i) {
        int fd = test::ConnectLoopbackFrom("127.0.0.1", port_);
        ASSERT_GE(fd, 0) << i;
        idle.push_back(fd);
        const char part[] = "GET /norvex/getgroupdevices.asp?groupid=1 HTTP/1.1\r\nHost: x";
        (void)::send(fd, part, sizeof part - 1, MSG_NOSIGNAL);  // may already be closed
    }
    EXPECT_EQ(Client().HttpGet(GroupDevicesPath("nosuchgroup")), "err");
    for (int fd : idle) ::close(fd);
}

// A single request in "GET path" over its own connection from source; the reply's body.
std::string FetchFrom(const char* source, int port, const std::string& path) {
    int fd = test::ConnectLoopbackFrom(source, port);
    if (fd < 0) return "no connection";
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n";
    std::string reply;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
        char buf[4096];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) reply.append(buf, n);
    }
    ::close(fd);
    size_t body = reply.find("\r\n\r\n");
    return body == std::string::npos ? "no reply" : reply.substr(body + 4);
}

// Checking a password is slow on purpose; a flood of wrong ones must not hold up a page that
// checks none.  Shown by order: the page is answered while the flood is still being hashed.
TEST_F(GroupdTest, WrongPasswordFloodDoesNotHoldUpOtherPages) {
    NewGroupResult created = CreateNewGroup(Endpoints(), "flood", "abc123", "abc123");
    ASSERT_TRUE(created.created) << created.message;
    const std::string wrong = GroupInfoPath(created.groupId, "wrong1");
    constexpr int kFlood = 64;
    std::atomic<int> answered{0};
    std::vector<std::thread> flood;
    for (int i = 0; i < kFlood; ++i) {
        // two addresses, each within its share of connections
        const char* source = i % 2 ? "127.0.0.2" : "127.0.0.3";
        flood.emplace_back([&, source] {
            if (FetchFrom(source, port_, wrong) == "err") ++answered;
        });
    }
    // the hashing has begun and the rest of the flood waits behind it
    ASSERT_TRUE(test::WaitUntil([&] { return answered.load() > 0; }, kPatience));
    EXPECT_EQ(FetchFrom("127.0.0.1", port_, GroupDevicesPath(created.groupId)), "no");
    const int duringPage = answered.load();
    for (std::thread& t : flood) t.join();
    EXPECT_LT(duringPage, kFlood / 2) << "the page waited behind the flood";
    EXPECT_EQ(answered.load(), kFlood);  // every wrong password still got its answer
}

TEST_F(GroupdTest, AHalfSentRequestIsDroppedWhenItsTimeIsUp) {
    serviceOptions_ = {"--client-timeout", "500"};
    ASSERT_TRUE(RestartService());
    HalfOpen idle;
    ASSERT_TRUE(idle.Open("127.0.0.2", port_, 2));
    EXPECT_TRUE(test::WaitUntil([&] { return idle.Closed() == 2; }, kPatience));
    EXPECT_EQ(Client().HttpGet(GroupDevicesPath("nosuchgroup")), "err");
}

}  // namespace
}  // namespace norvex
