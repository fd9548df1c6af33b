#pragma once
#include <string>

namespace norvex::test {

// PEM files of one certificate and its (unencrypted) private key.
struct PemPair {
    std::string cert;
    std::string key;
};

// A certificate authority made at test time (EC P-256, valid from an hour ago for a day), and
// the certificates it issues, as PEM files in a directory the caller owns.
class TestCa {
public:
    // Writes dir/<name>-ca.pem; Ok() says whether it worked.
    TestCa(const std::string& dir, const std::string& name);
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    bool Ok() const { return key_ != nullptr && cert_ != nullptr; }
    const std::string& CertFile() const { return certFile_; }

    // A server certificate; altNames in subjectAltName syntax: "IP:127.0.0.1,DNS:broker.test".
    // Files dir/<name>.pem and dir/<name>.key; both empty on failure.
    PemPair IssueServer(const std::string& name, const std::string& altNames);
    // A client certificate with commonName name.
    PemPair IssueClient(const std::string& name);

private:
    PemPair Issue(const std::string& name, const std::string& altNames, const char* usage);

    std::string dir_;
    std::string certFile_;
    void* key_ = nullptr;   // EVP_PKEY*, kept opaque so tests need no OpenSSL headers
    void* cert_ = nullptr;  // X509*
    long serial_ = 1;
};

}  // namespace norvex::test
