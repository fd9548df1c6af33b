// host:port as the environment gives it: names, IPv4, IPv6 with and without brackets.
#include "common/host_port.h"

#include <gtest/gtest.h>

namespace norvex {
namespace {

TEST(HostPort, ParsesEveryFormAndRejectsTheRest) {
    struct Case {
        const char* text;
        bool ok;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"127.0.0.1:6002", true, "127.0.0.1", 6002},
        {"10.0.0.5", true, "10.0.0.5", 7},
        {"group-service.example_1", true, "group-service.example_1", 7},
        {"[::1]:1883", true, "::1", 1883},
        {"[::1]", true, "::1", 7},
        {"::1", true, "::1", 7},
        {"[fe80::1:2]:65535", true, "fe80::1:2", 65535},
        {"h:0", false, "", 0},
        {"h:65536", false, "", 0},
        {"h:000080", false, "", 0},
        {"h:12a", false, "", 0},
        {"h:", false, "", 0},
        {":80", false, "", 0},
        {"", false, "", 0},
        {"[::1", false, "", 0},
        {"[::1]:", false, "", 0},
        {"[::1]x", false, "", 0},
        {"[::1]:80:80", false, "", 0},
        {"[]", false, "", 0},
        {"[127.0.0.1]:80", false, "", 0},
        {"[::1%eth0]", false, "", 0},
        {"::g", false, "", 0},
        {"a/b:1", false, "", 0},
        {"u@h:1", false, "", 0},
    };
    for (const auto& c : cases) {
        auto hp = ParseHostPort(c.text, 7);
        ASSERT_EQ(hp.has_value(), c.ok) << c.text;
        if (!hp) continue;
        EXPECT_EQ(hp->host, c.host) << c.text;
        EXPECT_EQ(hp->port, c.port) << c.text;
        auto again = ParseHostPort(FormatHostPort(*hp), 9);  // what a URL carries reads back
        ASSERT_TRUE(again) << FormatHostPort(*hp);
        EXPECT_EQ(again->host, hp->host);
        EXPECT_EQ(again->port, hp->port);
    }
    EXPECT_EQ(FormatHostPort({"::1", 80}), "[::1]:80");
    EXPECT_EQ(FormatHostPort({"h", 1}), "h:1");
}

}  // namespace
}  // namespace norvex
