// The head of a request as norvex-groupd's front reads it.
#include "request_head.h"

#include <gtest/gtest.h>

#include <string>

namespace norvex::groupd {
namespace {

TEST(RequestHead, EachHeadGivesItsLengthOrItsError) {
    const std::string big(kMaxHeadBytes, 'a');
    const struct {
        std::string bytes;
        int expected;  // > 0: the whole head
    } cases[] = {
        {"GET /a?b=c HTTP/1.1\r\nHost: x\r\n\r\n", 32},
        {"GET /a?b=c HTTP/1.1\r\nHost: x\r\n\r\nextra", 32},
        {"GET /a HTTP/1.0\r\n\r\n", 19},
        {"", 0},
        {"GET /a?b=c HTTP/1.1\r\nHost: x\r\n", 0},
        {"GET /" + big, kHeadTooLarge},
        {"GET /a HTTP/2\r\n\r\n", kHeadMalformed},
        {"GET a HTTP/1.1\r\n\r\n", kHeadMalformed},
        {"GET /a b HTTP/1.1\r\n\r\n", kHeadMalformed},
        {"GET /a\tb HTTP/1.1\r\n\r\n", kHeadMalformed},
        {"GET /a HTTP/1.1\r\nNo colon\r\n\r\n", kHeadMalformed},
        {"GET /a HTTP/1.1\r\nHost: x\r\n folded\r\n\r\n", kHeadMalformed},
        {"POST /a HTTP/1.1\r\nContent-Length: 1x\r\n\r\n", kHeadMalformed},
        {"POST /a HTTP/1.1\r\nContent-Length: 1\r\ncontent-length: 2\r\n\r\n", kHeadMalformed},
        {"POST /a HTTP/1.1\r\nContent-Length: 65537\r\n\r\n", kBodyTooLarge},
        {"POST /a HTTP/1.1\r\nContent-Length: 99999999999999\r\n\r\n", kBodyTooLarge},
        {"POST /a HTTP/1.1\r\ntransfer-encoding: chunked\r\n\r\n", kBodyNotCounted},
    };
    for (const auto& c : cases) {
        httplib::Request req;
        size_t body = 7;
        EXPECT_EQ(ParseRequestHead(c.bytes, &req, &body), c.expected) << c.bytes.substr(0, 60);
        if (c.expected <= 0) {
            EXPECT_EQ(body, 7u) << "untouched on failure";
        }
    }
}

TEST(RequestHead, PathQueryAndBodyLengthAreDecoded) {
    httplib::Request req;
    size_t body = 0;
    const std::string head =
        "POST /norvex/x%2Ey.asp?name=a%26b&pwd=c+d&pwd=e HTTP/1.1\r\nContent-Length:  12 \r\n\r\n";
    ASSERT_EQ(ParseRequestHead(head, &req, &body), static_cast<int>(head.size()));
    EXPECT_EQ(req.method, "POST");
    EXPECT_EQ(req.path, "/norvex/x.y.asp");
    EXPECT_EQ(req.get_param_value("name"), "a&b");
    EXPECT_EQ(req.get_param_value_count("pwd"), 2u);
    EXPECT_EQ(req.get_param_value("pwd"), "c d");
    EXPECT_EQ(body, 12u);
}

}  // namespace
}  // namespace norvex::groupd
