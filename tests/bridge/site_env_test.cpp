#include "bridge/site_env.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace norvex {
namespace {

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
    ::setenv("NORVEX_BROKER", "[::1]:7001", 1);
    EXPECT_EQ(BrokerFromEnv().host, "::1");
    EXPECT_EQ(BrokerFromEnv().port, 7001);
    ::setenv("NORVEX_BROKER", "127.0.0.2:nope", 1);  // unusable: the default stays
    EXPECT_EQ(BrokerFromEnv().host, "127.0.0.1");
    EXPECT_EQ(BrokerFromEnv().port, 6002);
    ::unsetenv("NORVEX_BROKER");
    ::unsetenv("NORVEX_PRODUCT_ID");
}

}  // namespace
}  // namespace norvex
