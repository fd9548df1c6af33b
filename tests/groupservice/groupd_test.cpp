// The group dialogs' logic end to end against norvex-groupd, across restarts.
#include <gtest/gtest.h>

#include "groupd_fixture.h"
#include "groupservice/dialog_messages.h"
#include "groupservice/group_details.h"
#include "groupservice/group_login.h"
#include "groupservice/group_replies.h"
#include "groupservice/group_requests.h"
#include "groupservice/new_group.h"
#include "groupservice/registration.h"

namespace norvex {
namespace {

using test::GroupdTest;

TEST_F(GroupdTest, AGroupIsCreatedLoggedInToListedAndShownAcrossARestart) {
    NewGroupResult created = CreateNewGroup(Endpoints(), "  Plant A  ", " Secret12 ", "Secret12");
    ASSERT_TRUE(created.created) << created.message;
    ASSERT_FALSE(created.groupId.empty());
    EXPECT_EQ(created.password, " Secret12 ");

    GroupDetailsView details = LoadGroupDetails(Client(), created.groupId, created.detailsPassword);
    EXPECT_FALSE(details.closeAtOnce);
    EXPECT_EQ(details.name, "Plant A");
    EXPECT_FALSE(details.created.empty());

    GroupLoginResult login = GroupLoginOk(Client(), " " + created.groupId, created.password);
    ASSERT_TRUE(login.accepted) << login.message;
    EXPECT_EQ(login.name, "plant a");
    EXPECT_EQ(login.id, " " + created.groupId);
    EXPECT_EQ(GroupLoginOk(Client(), created.groupId, "Secret13").message, msg::kLoginWrong);

    auto start =
        ReadServiceStartReply(Client().HttpGet(GroupInfoPath(created.groupId, "Secret12")));
    ASSERT_TRUE(start);
    EXPECT_EQ(ReadGroupDevicesReply(Client().HttpGet(GroupDevicesPath(created.groupId))).status,
              DeviceListStatus::kNoDevices);
    EXPECT_EQ(Tool({"add-device", created.groupId, "7", "89860001", "86000001"}), "");
    EXPECT_EQ(Tool({"add-device", created.groupId, "3", "89860003", "86000003"}), "");
    EXPECT_NE(Tool({"add-device", "nosuchgroup", "9", "a", "b"}).rfind("exit", 0),
              std::string::npos);

    ASSERT_TRUE(RestartService());
    login = GroupLoginOk(Client(), created.groupId, "Secret12");
    ASSERT_TRUE(login.accepted) << login.message;
    EXPECT_EQ(login.name, "plant a");
    auto again =
        ReadServiceStartReply(Client().HttpGet(GroupInfoPath(created.groupId, "Secret12")));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->serial, start->serial);
    DeviceListReply list =
        ReadGroupDevicesReply(Client().HttpGet(GroupDevicesPath(created.groupId)));
    ASSERT_EQ(list.status, DeviceListStatus::kRecords);
    ASSERT_EQ(list.records.size(), 2u);
    EXPECT_EQ(list.records[0].devid, 3);
    EXPECT_EQ(list.records[1].devid, 7);
    EXPECT_EQ(list.records[1].iccid, "89860001");
    EXPECT_EQ(list.records[1].imei, "86000001");
    EXPECT_EQ(LoadGroupDetails(Client(), created.groupId, "Secret12").name, "Plant A");

    // a relay report changes the relay and is kept for inspection
    EXPECT_EQ(Client().HttpGet(UpdateDevicesPath(7, "89860777", "86 777")), "ok");
    list = ReadGroupDevicesReply(Client().HttpGet(GroupDevicesPath(created.groupId)));
    ASSERT_EQ(list.records.size(), 2u);
    EXPECT_EQ(list.records[1].iccid, "89860777");
    EXPECT_EQ(list.records[1].imei, "86 777");
    EXPECT_NE(Tool({"list-reports"}).find("7,89860777,86 777,"), std::string::npos);
    EXPECT_EQ(Tool({"list-devices", created.groupId}), "3,89860003,86000003\n7,89860777,86 777\n");
}

TEST_F(GroupdTest, APasswordHoldingQuerySyntaxCannotChangeTheRequest) {
    const std::string password = "p&pwd=x% y";
    const std::string name = "a&name=b";
    auto reserved = ReadPrecreateReply(Client().HttpGet(PrecreateGroupPath(name, password)));
    ASSERT_TRUE(reserved);
    HttpPostResult reg = Client().HttpPost(RegistrationUrl(Endpoints().onenetApi),
                                           RegistrationBody(reserved->serial));
    ASSERT_FALSE(reg.transportError) << reg.error;
    RegistrationReply dev = CheckRegistrationReply(reg.body);
    ASSERT_EQ(dev.check, RegistrationCheck::kOk) << reg.body;
    ASSERT_EQ(Client().HttpGet(UpdateOnenetInfoPath(reserved->serialText, password, dev.deviceId)),
              "ok");

    GroupLoginResult login = GroupLoginOk(Client(), dev.deviceId, password);
    ASSERT_TRUE(login.accepted) << login.message;
    EXPECT_EQ(login.name, name);
    // the first part alone, which an unescaped query would have sent as the password
    EXPECT_FALSE(GroupLoginOk(Client(), dev.deviceId, "p").accepted);
    EXPECT_FALSE(GroupLoginOk(Client(), dev.deviceId, "p&pwd=x").accepted);
    EXPECT_EQ(LoadGroupDetails(Client(), dev.deviceId, password).name, name);
}

TEST_F(GroupdTest, BadRequestsGetErrAndTheServiceCarriesOn) {
    const std::pair<std::string, std::string> cases[] = {
        {"/norvex/getonenetinfo.asp", "err"},
        {"/norvex/getonenetinfo.asp?devid=1&pwd=1&pwd=2", "err"},
        {"/norvex/precreategroup.asp?name=a%2Cb&pwd=x", "err"},  // a comma would break the reply
        {"/norvex/precreategroup.asp?name=&pwd=x", "err"},
        {"/norvex/updateonenetinfo.asp?id=abc&pwd=x&devid=1", "err"},
        {"/norvex/updateonenetinfo.asp?id=99999999999999&pwd=x&devid=1", "err"},
        {"/norvex/getgroupdevices.asp?groupid=unknown", "err"},
        {"/norvex/updatedevices.asp?devid=x&iccid=1&imei=2", "err"},
        {"/norvex/updatedevices.asp?devid=1&iccid=1%7C2&imei=2", "err"},
    };
    for (const auto& [path, reply] : cases) EXPECT_EQ(Client().HttpGet(path), reply) << path;
    EXPECT_EQ(Client().HttpGet("/norvex/nosuchpage.asp"), "");  // 404

    HttpPostResult wrongCode = Client().HttpPost(
        "http://127.0.0.1:" + std::to_string(port_) + "/register_de?register_code=nope", "{}");
    ASSERT_FALSE(wrongCode.transportError);
    EXPECT_EQ(CheckRegistrationReply(wrongCode.body).check, RegistrationCheck::kBadErrno);
    HttpPostResult badBody = Client().HttpPost(RegistrationUrl(Endpoints().onenetApi), "{\"sn\":");
    EXPECT_EQ(CheckRegistrationReply(badBody.body).check, RegistrationCheck::kBadErrno);

    NewGroupResult created = CreateNewGroup(Endpoints(), "still", "abc123", "abc123");
    EXPECT_TRUE(created.created) << created.message;
}

TEST_F(GroupdTest, ADeviceCannotBeBoundToASecondGroup) {
    NewGroupResult first = CreateNewGroup(Endpoints(), "one", "abc123", "abc123");
    ASSERT_TRUE(first.created) << first.message;
    auto reserved = ReadPrecreateReply(Client().HttpGet(PrecreateGroupPath("two", "abc123")));
    ASSERT_TRUE(reserved);
    EXPECT_FALSE(ReadUpdateOnenetInfoReply(
        Client().HttpGet(UpdateOnenetInfoPath(reserved->serialText, "abc123", first.groupId))));
    // a wrong password cannot bind either
    EXPECT_FALSE(ReadUpdateOnenetInfoReply(
        Client().HttpGet(UpdateOnenetInfoPath(reserved->serialText, "abc124", "42"))));
}

}  // namespace
}  // namespace norvex
