#include "bridge/site_env.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace norvex {
namespace {

TEST(SiteEnv, HostPortForms) {
    struct Case { const char* text; bool ok; const char* host; int port; } cases[] = {
        {"127.0.0.1:6002", true, "127.0.0.1", 6002},
        {"10.0.0.5", true, "10.0.0.5", 6002},
        {"[::1]:1883", true, "::1", 1883},
        {"::1", true, "::1", 6002},
        {"[::1]", true, "::1", 6002},
        {"h:0", false, "", 0},
        {"h:65536", false, "", 0},
        {"h:12a", false, "", 0},
        {"h:", false, "", 0},
        {":80", false, "", 0},
        {"", false, "", 0},
        {"[::1", false, "", 0},
    };
    for (auto& c : cases) {
        BrokerEndpoint hp{"unchanged", 1};
        EXPECT_EQ(ParseBrokerEndpoint(c.text, 6002, &hp), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(hp.host, c.host) << c.text;
            EXPECT_EQ(hp.port, c.port) << c.text;
        } else {
            EXPECT_EQ(hp.host, "unchanged") << c.text;
        }
    }
}

TEST(SiteEnv, BrokerAndProductFromEnvironment) {
    ::unsetenv("NORVEX_BROKER");
    ::unsetenv("NORVEX_PRODUCT_ID");
    EXPECT_EQ(BrokerFromEnv().host, "127.0.0.1");
    EXPECT_EQ(BrokerFromEnv().port, 6002);
    EXPECT_EQ(ProductIdFromEnv(), "");
    ::setenv("NORVEX_BROKER", "127.0.0.2:7000", 1);
    ::setenv("NORVEX_PRODUCT_ID", "p1", 1);
    EXPECT_EQ(BrokerFromEnv().host, "127.0.0.2");
    EXPECT_EQ(BrokerFromEnv().port, 7000);
    EXPECT_EQ(ProductIdFromEnv(), "p1");
    ::setenv("NORVEX_BROKER", "127.0.0.2:nope", 1);  // unusable: the default stays
    EXPECT_EQ(BrokerFromEnv().port, 6002);
    ::unsetenv("NORVEX_BROKER");
    ::unsetenv("NORVEX_PRODUCT_ID");
}

}  // namespace
}  // namespace norvex
