#pragma once
#include "bridge/tls_settings.h"

namespace norvex {

// The broker link's TLS settings from the environment:
//   NORVEX_BROKER_TLS       unset, empty or "0": plain TCP; any other value: TLS (a typo must
//                           not silently send the group's traffic in clear)
//   NORVEX_BROKER_CA        PEM file of the trusted CA certificates (default: system store)
//   NORVEX_BROKER_CERT      PEM client certificate (optional)
//   NORVEX_BROKER_KEY       its private key, unencrypted PEM (default: the certificate file)
//   NORVEX_BROKER_TLS_NAME  name the broker's certificate must carry (default: its address)
TlsSettings BrokerTlsFromEnv();

}  // namespace norvex
