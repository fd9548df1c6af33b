// The registration exchange and the new-group validation.
#include "groupservice/registration.h"

#include <gtest/gtest.h>

#include "groupservice/dialog_messages.h"
#include "groupservice/http_client.h"
#include "groupservice/new_group.h"

namespace norvex {
namespace {

TEST(Registration, RequestIsBuiltByteForByte) {
    EXPECT_EQ(RegistrationBody(100001), "{\"sn\":\"NRVX100001\",\"title\": \"Group Host\"}");
    EXPECT_EQ(RegistrationUrl("127.0.0.1:50001"),
              "http://127.0.0.1:50001/register_de?register_code=Tq4WmZ8cRv2KxN7b");
    HttpUrlParts p;
    ASSERT_TRUE(SplitHttpUrl(RegistrationUrl("api.example"), &p));
    EXPECT_EQ(p.host, "api.example");
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.object, "/register_de?register_code=Tq4WmZ8cRv2KxN7b");
    ASSERT_TRUE(SplitHttpUrl("HTTP://h:81?q=1", &p));
    EXPECT_EQ(p.port, 81);
    EXPECT_EQ(p.object, "/?q=1");
    for (const char* bad : {"https://h/", "ftp://h", "http://", "http://:80/", "http://h:99999/"}) {
        EXPECT_FALSE(SplitHttpUrl(bad, &p)) << bad;
    }
}

TEST(Registration, ReplyIsCheckedInOrderWithFirstMembersCounting) {
    const std::string longPadding(400, ' ');
    const std::pair<std::string, const char*> cases[] = {
        {R"({"errno":0,"data":{"device_id":"5001","key":"k"},"error":"succ"})", ""},
        {R"({"error":"succ","data":{"key":"k","device_id":"5001"},"errno":0})", ""},
        {"{\"errno\":0," + longPadding +
             "\"error\":\"succ\",\"data\":{\"key\":\"k\",\"device_id\":\"5001\"}}",
         ""},
        {R"({"errno":10,"data":{"device_id":"5001","key":"k"},"error":"succ"})", msg::kRegBadErrno},
        {R"({"errno":0.9,"data":{"device_id":"5001","key":"k"},"error":"succ"})", ""},
        {R"({"errno":true,"data":{"device_id":"5001","key":"k"},"error":"succ"})",
         msg::kRegBadErrno},
        {R"({"data":{"device_id":"5001","key":"k"},"error":"succ"})", msg::kRegBadErrno},
        {R"({"errno":1,"errno":0,"data":{"device_id":"5001","key":"k"},"error":"succ"})",
         msg::kRegBadErrno},
        {R"({"ERRNO":0,"data":{"device_id":"5001","key":"k"},"error":"succ"})", msg::kRegBadErrno},
        {"not json", msg::kRegBadErrno},
        {"", msg::kRegBadErrno},
        {R"([0])", msg::kRegBadErrno},
        {R"({"errno":0,"data":{"device_id":"5001","key":"k"},"error":"fail"})", msg::kRegBadError},
        {R"({"errno":0,"data":{"device_id":"5001","key":"k"},"error":1})", msg::kRegBadError},
        {R"({"errno":0,"error":"succ"})", msg::kRegNoData},
        {R"({"errno":0,"error":"succ","data":"x"})", msg::kRegNoKey},
        {R"({"errno":0,"error":"succ","data":[{"key":"k","device_id":"5001"}]})", msg::kRegNoKey},
        {R"({"errno":0,"error":"succ","data":{"device_id":"5001"}})", msg::kRegNoKey},
        {R"({"errno":0,"error":"succ","data":{"key":"k"}})", msg::kRegNoDeviceId},
        {R"({"errno":0,"error":"succ","data":{"key":"k","device_id":5001}})", msg::kRegNoDeviceId},
        {R"({"errno":0,"error":"succ","data":{"key":"k","device_id":""}})", msg::kRegNoDeviceId},
        {R"({"errno":0,"error":"succ","data":{"key":"k","device_id":")" + std::string(128, '7') +
             "\"}}",
         msg::kRegNoDeviceId},
    };
    for (const auto& [reply, message] : cases) {
        RegistrationReply r = CheckRegistrationReply(reply);
        EXPECT_STREQ(RegistrationMessage(r.check), message) << reply;
        EXPECT_EQ(r.deviceId, *message ? "" : "5001") << reply;
    }
}

TEST(NewGroupValidation, MessagesComeInTheirOrder) {
    struct Case {
        const char *name, *password, *confirm, *message;
    };
    const Case cases[] = {
        {"Plant", "abc123", "abc123", ""},
        {"   ", "abc123", "abc123", msg::kNewGroupEmpty},
        {"Plant", " ", "abc123", msg::kNewGroupEmpty},
        {"Plant", "abc123", "", msg::kNewGroupEmpty},
        {"Plant", "abc123", "ABC123", msg::kPasswordMismatch},
        {"Plant", " abc123 ", "abc123", ""},  // both trimmed before they are compared
        {"Plant", "abc12", "abc12", msg::kPasswordTooShort},
        {"Plant", "123456", "123456", ""},
        {"Plant", "ABC123", "ABC123", ""},
        {"Plant", "ab c123", "ab c123", msg::kPasswordChars},
        {"Plant", "abc12!", "abc12!", msg::kPasswordChars},
        {"Plant", "abc12群", "abc12群", msg::kPasswordChars},
        {"Plant", "群群群", "群群群", msg::kPasswordTooShort},  // three units, though nine bytes
        {"Plant", "a&pwd=", "a&pwd=", msg::kPasswordChars},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ValidateNewGroup(c.name, c.password, c.confirm), c.message)
            << c.name << "/" << c.password << "/" << c.confirm;
    }
}

}  // namespace
}  // namespace norvex
