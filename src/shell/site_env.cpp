#include "shell/site_env.h"

#include <cstring>

#include "common/host_port.h"

namespace norvex {

namespace {

std::string Text(const char* value) {
    return value ? std::string(value) : std::string();
}

TlsSettings BrokerTlsFrom(const EnvLookup& env) {
    TlsSettings s;
    const char* on = env("NORVEX_BROKER_TLS");
    s.enabled = on != nullptr && *on != '\0' && std::strcmp(on, "0") != 0;
    if (!s.enabled) return s;
    s.caFile = Text(env("NORVEX_BROKER_CA"));
    s.certFile = Text(env("NORVEX_BROKER_CERT"));
    s.keyFile = Text(env("NORVEX_BROKER_KEY"));
    s.verifyName = Text(env("NORVEX_BROKER_TLS_NAME"));
    return s;
}

}  // namespace

SiteEnv ReadSiteEnv(const EnvLookup& env) {
    SiteEnv site;
    if (const char* broker = env("NORVEX_BROKER"); broker && *broker) {
        if (auto hp = ParseHostPort(broker, kDefaultBrokerPort)) {
            site.brokerHost = hp->host;
            site.brokerPort = hp->port;
        }
    }
    site.productId = Text(env("NORVEX_PRODUCT_ID"));
    site.brokerTls = BrokerTlsFrom(env);
    site.endpoints =
        ReadGroupServiceEndpoints(env("NORVEX_GROUP_SERVICE"), env("NORVEX_ONENET_API"));
    site.extraSerialPorts = Text(env("NORVEX_SERIAL_PORTS"));
    return site;
}

}  // namespace norvex
