#include "bridge/broker_tls_env.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace norvex {

namespace {

std::string EnvText(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

}  // namespace

TlsSettings BrokerTlsFromEnv() {
    TlsSettings s;
    const char* on = std::getenv("NORVEX_BROKER_TLS");
    s.enabled = on != nullptr && *on != '\0' && std::strcmp(on, "0") != 0;
    if (!s.enabled) return s;
    s.caFile = EnvText("NORVEX_BROKER_CA");
    s.certFile = EnvText("NORVEX_BROKER_CERT");
    s.keyFile = EnvText("NORVEX_BROKER_KEY");
    s.verifyName = EnvText("NORVEX_BROKER_TLS_NAME");
    return s;
}

}  // namespace norvex
