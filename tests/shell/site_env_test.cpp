// The site's environment as the option readers turn it into values: the broker, its TLS, the
// group service and the extra serial ports.
#include "shell/site_env.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "shell/norvexd_options.h"
#include "shell/panel_options.h"

namespace norvex {
namespace {

using Vars = std::map<std::string, std::string>;

EnvLookup LookupIn(const Vars& vars) {
    return [&vars](const char* name) {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
}

TEST(SiteEnv, BrokerGroupServiceAndPortsFromTheirVariablesOrTheDefaults) {
    struct Case {
        Vars vars;
        std::string brokerHost;
        int brokerPort;
        std::string productId;
        std::string groupServiceHost;
        uint16_t groupServicePort;
        std::string onenetApi;
    };
    const Case cases[] = {
        {{}, "127.0.0.1", 6002, "", "127.0.0.1", 50001, "127.0.0.1:50001"},
        {{{"NORVEX_BROKER", "127.0.0.2:7000"}, {"NORVEX_PRODUCT_ID", "p1"}},
         "127.0.0.2",
         7000,
         "p1",
         "127.0.0.1",
         50001,
         "127.0.0.1:50001"},
        {{{"NORVEX_BROKER", "[::1]:7001"},
          {"NORVEX_GROUP_SERVICE", "[::1]:8080"},
          {"NORVEX_ONENET_API", "api.test"}},
         "::1",
         7001,
         "",
         "::1",
         8080,
         "api.test"},
        // unusable values: the defaults stay
        {{{"NORVEX_BROKER", "127.0.0.2:nope"},
          {"NORVEX_GROUP_SERVICE", "a/b:1"},
          {"NORVEX_ONENET_API", "[x]"}},
         "127.0.0.1",
         6002,
         "",
         "127.0.0.1",
         50001,
         "127.0.0.1:50001"},
        {{{"NORVEX_BROKER", ""}, {"NORVEX_GROUP_SERVICE", ""}, {"NORVEX_ONENET_API", ""}},
         "127.0.0.1",
         6002,
         "",
         "127.0.0.1",
         50001,
         "127.0.0.1:50001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.vars));
        const SiteEnv site = ReadSiteEnv(LookupIn(c.vars));
        EXPECT_EQ(site.brokerHost, c.brokerHost);
        EXPECT_EQ(site.brokerPort, c.brokerPort);
        EXPECT_EQ(site.productId, c.productId);
        EXPECT_EQ(site.endpoints.groupService.host, c.groupServiceHost);
        EXPECT_EQ(site.endpoints.groupService.port, c.groupServicePort);
        EXPECT_EQ(site.endpoints.onenetApi, c.onenetApi);
        EXPECT_FALSE(site.brokerTls.enabled);
        EXPECT_EQ(site.extraSerialPorts, "");
    }
}

TEST(SiteEnv, BrokerTlsIsOnUnlessUnsetEmptyOrZero) {
    struct Case {
        const char* value;  // nullptr: unset
        bool on;
    };
    for (const Case& c : {Case{nullptr, false}, Case{"", false}, Case{"0", false}, Case{"1", true},
                          Case{"yes", true}, Case{"true", true}}) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        Vars vars{{"NORVEX_BROKER_CA", "/ca.pem"},
                  {"NORVEX_BROKER_CERT", "/c.pem"},
                  {"NORVEX_BROKER_KEY", "/k.pem"},
                  {"NORVEX_BROKER_TLS_NAME", "broker.test"}};
        if (c.value) vars["NORVEX_BROKER_TLS"] = c.value;
        const TlsSettings s = ReadSiteEnv(LookupIn(vars)).brokerTls;
        EXPECT_EQ(s.enabled, c.on);
        // off, the files are not even looked at: nothing of them reaches the engine
        EXPECT_EQ(s.caFile, c.on ? "/ca.pem" : "");
        EXPECT_EQ(s.certFile, c.on ? "/c.pem" : "");
        EXPECT_EQ(s.keyFile, c.on ? "/k.pem" : "");
        EXPECT_EQ(s.verifyName, c.on ? "broker.test" : "");
    }
}

// norvexd and the panel hand on the same site; norvexd's test knob and the panel's runtime
// directory come with them.
TEST(SiteEnv, BothOptionReadersCarryTheSite) {
    const Vars vars{
        {"NORVEX_BROKER", "127.0.0.3:7100"},   {"NORVEX_BROKER_TLS", "1"},
        {"NORVEX_BROKER_CA", "/ca.pem"},       {"NORVEX_GROUP_SERVICE", "127.0.0.4:8100"},
        {"NORVEX_SERIAL_PORTS", "/tmp/ttyV*"}, {"NORVEX_RELAY_OFFLINE_MS", "1500"},
        {"XDG_RUNTIME_DIR", "/run/user/7"}};
    const char* const argv[] = {"norvexd", "--list-ports"};
    const NorvexdOptions d = ParseNorvexdOptions(2, argv, LookupIn(vars));
    const PanelOptions p = ParsePanelOptions({"--config", "x.cfg"}, LookupIn(vars));
    ASSERT_TRUE(p.error.empty()) << p.error;
    for (const SiteEnv* site : {&d.site, &p.site}) {
        EXPECT_EQ(site->brokerHost, "127.0.0.3");
        EXPECT_EQ(site->brokerPort, 7100);
        EXPECT_TRUE(site->brokerTls.enabled);
        EXPECT_EQ(site->brokerTls.caFile, "/ca.pem");
        EXPECT_EQ(site->endpoints.groupService.port, 8100);
        EXPECT_EQ(site->extraSerialPorts, "/tmp/ttyV*");
    }
    EXPECT_EQ(d.relayOfflineMs, 1500u);
    EXPECT_EQ(p.runtimeDir, "/run/user/7");
    for (const char* bad : {"0", "15s", "4294967296"}) {
        const Vars knob{{"NORVEX_RELAY_OFFLINE_MS", bad}};
        EXPECT_EQ(ParseNorvexdOptions(2, argv, LookupIn(knob)).relayOfflineMs, 0u) << bad;
    }
}

}  // namespace
}  // namespace norvex
