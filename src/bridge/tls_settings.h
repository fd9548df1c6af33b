#pragma once
#include <string>

namespace norvex {

// How the link to the broker is secured.  Plain TCP unless enabled.
struct TlsSettings {
    bool enabled = false;
    // PEM file of the certificates that may sign the broker's; empty: the system's trust store.
    std::string caFile;
    // PEM client certificate (chain) and its private key; both empty: no client certificate.
    // With a certificate and no key file, the key is read from the certificate file.
    std::string certFile;
    std::string keyFile;
    // What the broker's certificate must name: an IP address is checked against its IP entries,
    // anything else against its DNS entries (and sent as SNI).  Empty: the address connected to.
    std::string verifyName;
};

}  // namespace norvex
