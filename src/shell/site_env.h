#pragma once
#include <string>

#include "bridge/tls_settings.h"
#include "common/site_defaults.h"
#include "groupservice/endpoints.h"
#include "shell/env_lookup.h"

namespace norvex {

// What the site's environment says about the services around the program.  Read once by the
// option readers of norvexd, the panel and the tools, and handed on as values.
struct SiteEnv {
    // NORVEX_BROKER ("host:port", "host", "[v6]:port", "[v6]"), or 127.0.0.1:6002 when it is
    // unset or unusable
    std::string brokerHost{kDefaultBrokerHost};
    int brokerPort = kDefaultBrokerPort;
    std::string productId;  // NORVEX_PRODUCT_ID: the MQTT user name; empty when unset
    // The broker link's TLS:
    //   NORVEX_BROKER_TLS       unset, empty or "0": plain TCP; any other value: TLS (a typo
    //                           must not silently send the group's traffic in clear)
    //   NORVEX_BROKER_CA        PEM file of the trusted CA certificates (default: system store)
    //   NORVEX_BROKER_CERT      PEM client certificate (optional)
    //   NORVEX_BROKER_KEY       its private key, unencrypted PEM (default: the certificate file)
    //   NORVEX_BROKER_TLS_NAME  name the broker's certificate must carry (default: its address)
    TlsSettings brokerTls;
    // NORVEX_GROUP_SERVICE and NORVEX_ONENET_API (see ReadGroupServiceEndpoints)
    GroupServiceEndpoints endpoints;
    // NORVEX_SERIAL_PORTS: extra port paths or globs, colon-separated; empty when unset
    std::string extraSerialPorts;
};

SiteEnv ReadSiteEnv(const EnvLookup& env);

}  // namespace norvex
