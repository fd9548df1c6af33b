// The dialogs' decisions for replies a well-behaved service would not give, from a recording
// loopback server that plays both the group service and the registration API.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "groupservice/dialog_messages.h"
#include "groupservice/group_details.h"
#include "groupservice/group_login.h"
#include "groupservice/new_group.h"
#include "support/net_util.h"
#include "support/raw_http_server.h"

namespace norvex {
namespace {

using test::RawHttpServer;

// Answers by page name; a page without an entry gets 404.
RawHttpServer::Responder Pages(std::map<std::string, std::pair<int, std::string>> pages) {
    return [pages = std::move(pages)](const std::string& request) {
        std::string target = RawHttpServer::Target(request);
        std::string page = target.substr(0, target.find('?'));
        auto it = pages.find(page);
        return it == pages.end() ? RawHttpServer::Response(404, "")
                                 : RawHttpServer::Response(it->second.first, it->second.second);
    };
}

GroupServiceEndpoints EndpointsOf(const RawHttpServer& s) {
    GroupServiceEndpoints e;
    e.groupService = HostPort{"127.0.0.1", static_cast<uint16_t>(s.Port())};
    e.onenetApi = s.HostPort();
    return e;
}

size_t CountPage(const RawHttpServer& s, const std::string& page) {
    size_t n = 0;
    for (const auto& r : s.Requests()) n += RawHttpServer::Target(r).rfind(page, 0) == 0;
    return n;
}

constexpr const char* kInfo = "/norvex/getonenetinfo.asp";
constexpr const char* kReserve = "/norvex/precreategroup.asp";
constexpr const char* kBind = "/norvex/updateonenetinfo.asp";
constexpr const char* kRegister = "/register_de";
const std::string kGoodRegistration =
    R"({"errno":0,"data":{"device_id":"5001","key":"k"},"error":"succ"})";

TEST(GroupLogin, TrimsForTheCheckAndHandsBackTheBoxTexts) {
    RawHttpServer server(Pages({{kInfo, {200, "100001,My GROUP,2024"}}}));
    ASSERT_TRUE(server.Ok());
    HttpClient client(EndpointsOf(server).groupService);

    GroupLoginResult r = GroupLoginOk(client, "   ", "pw");
    EXPECT_FALSE(r.accepted);
    EXPECT_EQ(r.message, msg::kLoginEmpty);
    EXPECT_TRUE(server.Requests().empty());

    r = GroupLoginOk(client, " 5001 ", " pw\t");
    ASSERT_TRUE(r.accepted) << r.message;
    EXPECT_EQ(r.id, " 5001 ");
    EXPECT_EQ(r.password, " pw\t");
    EXPECT_EQ(r.name, "my group");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(RawHttpServer::Target(server.Requests()[0]),
              "/norvex/getonenetinfo.asp?devid=5001&pwd=pw");
}

TEST(GroupLogin, EveryFailedReplyIsTheSameMessage) {
    const std::pair<int, std::string> replies[] = {
        {200, "err"}, {200, "ERR"}, {200, "1,name"}, {200, ""}, {404, "1,a,b"}};
    for (const auto& reply : replies) {
        RawHttpServer server(Pages({{kInfo, reply}}));
        ASSERT_TRUE(server.Ok());
        GroupLoginResult r = GroupLoginOk(HttpClient(EndpointsOf(server).groupService), "1", "p");
        EXPECT_FALSE(r.accepted) << reply.second;
        EXPECT_EQ(r.message, msg::kLoginWrong) << reply.second;
    }
    int closed = test::FreeLoopbackPort();
    GroupLoginResult r =
        GroupLoginOk(HttpClient(HostPort{"127.0.0.1", static_cast<uint16_t>(closed)}), "1", "p");
    EXPECT_EQ(r.message, msg::kLoginWrong);
}

TEST(GroupDetails, ShowsWhatTheReplyAllows) {
    struct Case {
        int status;
        std::string reply;
        bool close;
        std::string name, created;
    };
    const Case cases[] = {
        {200, "1, Plant A ,2024-01-01,x,y", false, "Plant A", "2024-01-01,x,y"},
        {200, "err", true, "", ""},
        {200, "ERR", false, "", ""},
        {200, "1,a", false, "", ""},
        {500, "err", false, "", ""},
    };
    for (const auto& c : cases) {
        RawHttpServer server(Pages({{kInfo, {c.status, c.reply}}}));
        ASSERT_TRUE(server.Ok());
        GroupDetailsView v =
            LoadGroupDetails(HttpClient(EndpointsOf(server).groupService), "5001", "pw");
        EXPECT_EQ(v.closeAtOnce, c.close) << c.reply;
        EXPECT_EQ(v.message, c.close ? msg::kDetailsFailed : "") << c.reply;
        EXPECT_EQ(v.id, "5001");
        EXPECT_EQ(v.name, c.name) << c.reply;
        EXPECT_EQ(v.created, c.created) << c.reply;
    }
}

TEST(NewGroup, EachFailingStepStopsTheCreationWithItsMessage) {
    struct Case {
        const char* what;
        std::pair<int, std::string> reserve, registration, bind;
        const char* message;
        std::string groupId;
        size_t registrations, binds;
        bool unconfirmed = false;  // created, with the note naming the ID
    };
    // clang-format off
    const Case cases[] = {
        {"reserve err in capitals", {200, "ERR"}, {200, kGoodRegistration}, {200, "ok"},
         msg::kCreateFailed, "", 0, 0},
        {"reserve not a number", {200, "busy"}, {200, kGoodRegistration}, {200, "ok"},
         msg::kCreateFailed, "", 0, 0},
        {"errno 10", {200, "100001"}, {200, R"({"errno":10,"error":"succ","data":{"key":"k","device_id":"1"}})"},
         {200, "ok"}, msg::kRegBadErrno, "", 1, 0},
        {"no device_id", {200, "100001"}, {200, R"({"errno":0,"error":"succ","data":{"key":"k"}})"},
         {200, "ok"}, msg::kRegNoDeviceId, "", 1, 0},
        {"registration status 400", {200, "100001"}, {400, R"({"errno":3,"error":"bad"})"},
         {200, "ok"}, msg::kRegBadErrno, "", 1, 0},
        {"bind err", {200, "100001"}, {200, kGoodRegistration}, {200, "Err"}, msg::kCreateFailed,
         "5001", 1, 1},
        {"bind unanswered", {200, "100001"}, {200, kGoodRegistration}, {503, ""}, "", "5001", 1, 1,
         true},
        {"bind err not in a reply", {200, "100001"}, {200, kGoodRegistration}, {500, "err"}, "",
         "5001", 1, 1, true},
        {"bind empty 200", {200, "100001"}, {200, kGoodRegistration}, {200, ""}, "", "5001", 1, 1},
    };
    // clang-format on
    for (const auto& c : cases) {
        RawHttpServer server(
            Pages({{kReserve, c.reserve}, {kRegister, c.registration}, {kBind, c.bind}}));
        ASSERT_TRUE(server.Ok());
        NewGroupResult r = CreateNewGroup(EndpointsOf(server), "Plant", " abc123 ", "abc123");
        EXPECT_EQ(r.created, *c.message == '\0') << c.what;
        EXPECT_EQ(r.message, c.message) << c.what;
        EXPECT_FALSE(r.stopIcon) << c.what;
        EXPECT_EQ(r.groupId, c.groupId) << c.what;
        EXPECT_EQ(CountPage(server, kRegister), c.registrations) << c.what;
        EXPECT_EQ(CountPage(server, kBind), c.binds) << c.what;
        EXPECT_EQ(r.note, c.unconfirmed ? "新建成功，群ID：5001\n绑定未能确认，请记下群ID" : "")
            << c.what;
        if (r.created) {
            EXPECT_EQ(r.password, " abc123 ");
            EXPECT_EQ(r.detailsPassword, "abc123");
        }
    }
}

TEST(NewGroup, RegistrationSendsTheBodyAndBindUsesTheReserveReply) {
    RawHttpServer server(Pages({{kReserve, {200, "100001X"}},
                                {kRegister, {200, kGoodRegistration}},
                                {kBind, {200, "ok"}}}));
    ASSERT_TRUE(server.Ok());
    NewGroupResult r = CreateNewGroup(EndpointsOf(server), "Plant", "abc123", "abc123");
    ASSERT_TRUE(r.created) << r.message;
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(RawHttpServer::Target(requests[1]), "/register_de?register_code=Tq4WmZ8cRv2KxN7b");
    const std::string body = "{\"sn\":\"NRVX100001\",\"title\": \"Group Host\"}";
    EXPECT_EQ(requests[1].substr(requests[1].size() - body.size()), body);
    EXPECT_EQ(RawHttpServer::Target(requests[2]),
              "/norvex/updateonenetinfo.asp?id=100001x&pwd=abc123&devid=5001");
}

TEST(NewGroup, ABindDroppedWithoutAnAnswerStillHandsBackTheGroup) {
    auto server = std::make_unique<RawHttpServer>([](const std::string& request) {
        std::string target = RawHttpServer::Target(request);
        if (target.starts_with(kBind)) return std::string();  // held open, never answered
        return RawHttpServer::Response(
            200, target.starts_with(kReserve) ? std::string("100001") : kGoodRegistration);
    });
    ASSERT_TRUE(server->Ok());
    auto made = std::async(std::launch::async, [e = EndpointsOf(*server)] {
        return CreateNewGroup(e, "Plant", "abc123", "abc123");
    });
    for (int i = 0; i < 500 && CountPage(*server, kBind) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(CountPage(*server, kBind), 1u);
    server.reset();  // closes the held connection
    ASSERT_EQ(made.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    NewGroupResult r = made.get();
    EXPECT_TRUE(r.created);
    EXPECT_EQ(r.groupId, "5001");
    EXPECT_EQ(r.note, UnconfirmedBindNote("5001"));
    EXPECT_EQ(r.password, "abc123");
}

TEST(NewGroup, AnUnreachableRegistrationApiIsAnErrorMessageNotACrash) {
    RawHttpServer server(Pages({{kReserve, {200, "100001"}}}));
    ASSERT_TRUE(server.Ok());
    GroupServiceEndpoints e = EndpointsOf(server);
    e.onenetApi = "127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    NewGroupResult r = CreateNewGroup(e, "Plant", "abc123", "abc123");
    EXPECT_FALSE(r.created);
    EXPECT_TRUE(r.stopIcon);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(r.groupId, "");
    e.onenetApi = "bad host/";
    r = CreateNewGroup(e, "Plant", "abc123", "abc123");
    EXPECT_TRUE(r.stopIcon);
    EXPECT_FALSE(r.message.empty());
}

}  // namespace
}  // namespace norvex
