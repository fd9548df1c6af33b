// HttpClient against a real server on a loopback port that records the bytes it receives.
#include "groupservice/http_client.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "common/unique_fd.h"
#include "groupservice/endpoints.h"
#include "groupservice/group_requests.h"
#include "groupservice/registration.h"
#include "support/net_util.h"
#include "support/raw_http_server.h"

namespace norvex {
namespace {

using test::RawHttpServer;
using Clock = std::chrono::steady_clock;

HttpClient ClientFor(const RawHttpServer& s) {
    return HttpClient(HostPort{"127.0.0.1", static_cast<uint16_t>(s.Port())});
}

double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

TEST(HttpGet, SendsTheExactRequestLineAndHeaders) {
    RawHttpServer server([](const std::string&) { return RawHttpServer::Response(200, "ok"); });
    ASSERT_TRUE(server.Ok());
    EXPECT_EQ(ClientFor(server).HttpGet(GroupInfoPath("群1", "a b&c")), "ok");
    ASSERT_EQ(server.Requests().size(), 1u);
    // clang-format off
    const std::string expected =
        "GET /norvex/getonenetinfo.asp?devid=%e7%be%a41&pwd=a%20b%26c HTTP/1.1\r\n"
        "Host: " +
        server.HostPort() +
        "\r\n"
        "User-Agent: NorvexPanel\r\n"
        "Accept: audio/x-aiff, audio/basic, audio/midi,\t\t\t\t\t\t audio/mpeg, audio/wav, "
        "image/jpeg, image/gif, image/jpg, image/png,\t\t\t\t\t\t image/mng, image/bmp, "
        "text/plain, text/html, text/htm\r\n"
        "Accept-Charset:UTF-8\r\n"
        "\r\n";
    // clang-format on
    EXPECT_EQ(server.Requests()[0], expected);
}

TEST(HttpPost, SendsTheExactRequestAndSkipsHeadersAlreadyThere) {
    RawHttpServer server([](const std::string&) { return RawHttpServer::Response(200, "{}"); });
    ASSERT_TRUE(server.Ok());
    HttpClient client = ClientFor(server);
    client.SetExtraHeaders("X-Extra: 1\r\nContent-Type: text/plain\r\nbroken line\r\nX-Two: 2");
    const std::string body = "{\"sn\":\"NRVX7\"}";
    HttpPostResult r = client.HttpPost("http://" + server.HostPort() + "/register_de?c=1", body);
    ASSERT_FALSE(r.transportError) << r.error;
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "{}");
    ASSERT_EQ(server.Requests().size(), 1u);
    // clang-format off
    const std::string expected =
        "POST /register_de?c=1 HTTP/1.1\r\n"
        "Host: " +
        server.HostPort() +
        "\r\n"
        "User-Agent: NorvexPanel\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\n"
        "Accept: */*\r\n"
        "X-Extra: 1\r\n"
        "X-Two: 2\r\n"
        "Content-Length: " + std::to_string(body.size()) + "\r\n"
        "\r\n" + body;
    // clang-format on
    EXPECT_EQ(server.Requests()[0], expected);
}

struct GetCase {
    const char* what;
    int status;
    std::string body;
    std::string expected;
};

TEST(HttpGet, ReadsOnlyA200BodyUpToTheCap) {
    const std::string big(40000, 'x');
    const std::string exact(HttpClient::kReplyCap, 'y');
    const GetCase cases[] = {
        {"404", 404, "not here", ""},
        {"500 with text", 500, "err", ""},
        {"empty 200", 200, "", ""},
        {"40000 bytes cut", 200, big, big.substr(0, HttpClient::kReplyCap)},
        {"32767 bytes whole", 200, exact, exact},
        {"invalid UTF-8 repaired", 200,
         "a\xff"
         "b\xe7\xbe",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {"ends at a NUL", 200, std::string("ab\0cd", 5), "ab"},
    };
    for (const auto& c : cases) {
        RawHttpServer server(
            [&c](const std::string&) { return RawHttpServer::Response(c.status, c.body); });
        ASSERT_TRUE(server.Ok());
        EXPECT_EQ(ClientFor(server).HttpGet("/norvex/x.asp"), c.expected) << c.what;
    }
}

std::string RedirectingResponder(const std::string& request) {
    if (RawHttpServer::Target(request) == "/from") {
        return RawHttpServer::Response(302, "moved", "Location: /to\r\n");
    }
    return RawHttpServer::Response(200, "arrived");
}

TEST(HttpGet, FollowsARedirect) {
    RawHttpServer server(RedirectingResponder);
    ASSERT_TRUE(server.Ok());
    EXPECT_EQ(ClientFor(server).HttpGet("/from"), "arrived");
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(RawHttpServer::Target(requests[1]), "/to");
}

TEST(HttpPost, DoesNotFollowARedirectAndReturnsItsBody) {
    RawHttpServer server(RedirectingResponder);
    ASSERT_TRUE(server.Ok());
    HttpPostResult r = ClientFor(server).HttpPost("http://" + server.HostPort() + "/from", "x");
    ASSERT_FALSE(r.transportError) << r.error;
    EXPECT_EQ(r.status, 302);
    EXPECT_EQ(r.body, "moved");
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpPost, ReturnsTheBodyOfAnErrorStatus) {
    const std::string json = "{\"errno\":10,\"error\":\"bad\"}";
    RawHttpServer server([&](const std::string&) { return RawHttpServer::Response(400, json); });
    ASSERT_TRUE(server.Ok());
    HttpPostResult r = ClientFor(server).HttpPost("http://" + server.HostPort() + "/r", "{}");
    EXPECT_FALSE(r.transportError);
    EXPECT_EQ(r.status, 400);
    EXPECT_EQ(r.body, json);
}

TEST(HttpClient, AClosedPortIsEmptyTextForGetAndAnErrorForPost) {
    int port = test::FreeLoopbackPort();
    ASSERT_GT(port, 0);
    HttpClient client(HostPort{"127.0.0.1", static_cast<uint16_t>(port)});
    auto start = Clock::now();
    EXPECT_EQ(client.HttpGet("/norvex/getonenetinfo.asp?devid=1&pwd=2"), "");
    // one refused connect, the back-off, one more refused connect
    EXPECT_LT(SecondsSince(start), 10.0);
    HttpPostResult r = client.HttpPost("http://127.0.0.1:" + std::to_string(port) + "/r", "{}");
    EXPECT_TRUE(r.transportError);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.body, "");
}

TEST(HttpClient, GivesUpOnAServerThatNeverAnswersWithinTheBound) {
    RawHttpServer server([](const std::string&) { return std::string(); });
    ASSERT_TRUE(server.Ok());
    HttpClient client = ClientFor(server);
    client.SetTotalTimeout(std::chrono::milliseconds(1500));
    auto start = Clock::now();
    EXPECT_EQ(client.HttpGet("/norvex/getgroupdevices.asp?groupid=1"), "");
    HttpPostResult r = client.HttpPost("http://" + server.HostPort() + "/r", "{}");
    EXPECT_TRUE(r.transportError);
    // two bounded requests, with generous room for a loaded machine
    EXPECT_LT(SecondsSince(start), 15.0);
    EXPECT_EQ(server.Requests().size(), 2u);
}

// A raised cancel descriptor ends a request at once, wherever it waits: for an answer that never
// comes, and in the back-off between two refused connects.  Without it each would take seconds.
TEST(HttpClient, ACancelEndsAWaitingRequestAndItsBackOff) {
    RawHttpServer silent([](const std::string&) { return std::string(); });
    ASSERT_TRUE(silent.Ok());
    int closedPort = test::FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    struct Case {
        HostPort service;
        const char* where;
    };
    for (const Case& c : {Case{{"127.0.0.1", static_cast<uint16_t>(silent.Port())}, "silent"},
                          Case{{"127.0.0.1", static_cast<uint16_t>(closedPort)}, "refused"}}) {
        SCOPED_TRACE(c.where);
        UniqueFd cancel(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        ASSERT_TRUE(cancel);
        HttpClient client(c.service);
        client.SetCancelFd(cancel.Get());
        std::thread raiser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            uint64_t one = 1;
            EXPECT_EQ(::write(cancel.Get(), &one, sizeof one), 8);
        });
        auto start = Clock::now();
        HttpReply r = client.Get("/norvex/getonenetinfo.asp?devid=1&pwd=2");
        double spent = SecondsSince(start);
        raiser.join();
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.answered);
        // the silent server would hold it for the 30 s bound, the back-off for a second
        EXPECT_LT(spent, 0.9);
        // a raised descriptor stops the POST as well, before it gets anywhere
        HttpPostResult p = client.HttpPost("http://" + FormatHostPort(c.service) + "/r", "{}");
        EXPECT_TRUE(p.transportError);
    }
}

TEST(HttpClient, DefaultBoundIsThirtySecondsAndConnectLimitsAreKept) {
    HttpClient client(HostPort{"127.0.0.1", 1});
    EXPECT_EQ(client.TotalTimeout(), std::chrono::milliseconds(30000));
    EXPECT_EQ(HttpClient::kConnectTimeout, std::chrono::milliseconds(20000));
    EXPECT_EQ(HttpClient::kConnectBackoff, std::chrono::milliseconds(1000));
}

TEST(HttpGet, ThreadsMayRequestAtTheSameTime) {
    RawHttpServer server([](const std::string& req) {
        return RawHttpServer::Response(200, RawHttpServer::Target(req).substr(1));
    });
    ASSERT_TRUE(server.Ok());
    constexpr int kThreads = 4, kEach = 5;
    std::atomic<int> right{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                std::string name = "t" + std::to_string(t) + "i" + std::to_string(i);
                if (ClientFor(server).HttpGet("/" + name) == name) {
                    right.fetch_add(1, std::memory_order_relaxed);
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(right.load(), kThreads * kEach);
}

// The group service and the registration API name an IPv6 loopback in brackets, as
// NORVEX_GROUP_SERVICE and NORVEX_ONENET_API would: the GET and the registration POST both
// reach it, and the Host line carries the brackets.
TEST(HttpClient, ReachesAServiceOnTheIpv6LoopbackNamedInBrackets) {
    RawHttpServer server([](const std::string&) { return RawHttpServer::Response(200, "ok"); },
                         RawHttpServer::Loopback::kIpv6);
    if (!server.Ok()) GTEST_SKIP() << "no ::1 on this machine";
    const std::string named = server.HostPort();
    const GroupServiceEndpoints e = ReadGroupServiceEndpoints(named.c_str(), named.c_str());
    EXPECT_EQ(e.groupService.host, "::1");
    EXPECT_EQ(HttpClient(e.groupService).HttpGet("/g"), "ok");
    HttpPostResult post = HttpClient(e.groupService).HttpPost(RegistrationUrl(e.onenetApi), "{}");
    ASSERT_FALSE(post.transportError) << post.error;
    EXPECT_EQ(post.body, "ok");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& r : requests) {
        EXPECT_NE(r.find("\r\nHost: " + server.HostPort() + "\r\n"), std::string::npos) << r;
    }
    EXPECT_EQ(RawHttpServer::Target(requests[1]).rfind("/register_de?", 0), 0u);
}

}  // namespace
}  // namespace norvex
