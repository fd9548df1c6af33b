// Clients that open a connection and send half a request, or nothing, must not keep anyone
// else from being served.  Correctness only: how fast is measured in bench/groupd.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "groupd_fixture.h"
#include "groupservice/group_requests.h"

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
    // the 32 allowed stay open; the rest are closed at once
    EXPECT_TRUE(test::WaitUntil([&] { return idle.Closed() >= 16; }, kPatience));
    EXPECT_EQ(idle.Closed(), 16);
    EXPECT_EQ(Client().HttpGet(GroupDevicesPath("nosuchgroup")), "err");  // another address
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
