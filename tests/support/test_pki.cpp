#include "support/test_pki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace norvex::test {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
    void operator()(X509* c) const { X509_free(c); }
};
struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

bool AddExt(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (ext == nullptr) return false;
    bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

// An unsigned certificate for key, named commonName, valid from an hour ago for a day.
CertPtr NewCert(EVP_PKEY* key, const std::string& commonName, long serial) {
    CertPtr cert(X509_new());
    if (!cert) return cert;
    X509_NAME* subject = X509_get_subject_name(cert.get());
    if (X509_set_version(cert.get(), 2) != 1 ||
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) == nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400) == nullptr ||
        X509_set_pubkey(cert.get(), key) != 1 ||
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) != 1) {
        cert.reset();
    }
    return cert;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
    std::unique_ptr<FILE, FileClose> f(std::fopen(path.c_str(), "w"));
    if (!f) return false;
    if (cert != nullptr) return PEM_write_X509(f.get(), cert) == 1;
    return PEM_write_PrivateKey(f.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
}

}  // namespace

TestCa::TestCa(const std::string& dir, const std::string& name)
    : dir_(dir), certFile_(dir + "/" + name + "-ca.pem") {
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key) return;
    CertPtr cert = NewCert(key.get(), name + " test CA", serial_++);
    if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get())) != 1 ||
        !AddExt(cert.get(), cert.get(), NID_basic_constraints, "critical,CA:TRUE") ||
        !AddExt(cert.get(), cert.get(), NID_key_usage, "critical,keyCertSign,cRLSign") ||
        !AddExt(cert.get(), cert.get(), NID_subject_key_identifier, "hash") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0 ||
        !WritePem(certFile_, cert.get(), nullptr)) {
        return;
    }
    key_ = key.release();
    cert_ = cert.release();
}

TestCa::~TestCa() {
    EVP_PKEY_free(static_cast<EVP_PKEY*>(key_));
    X509_free(static_cast<X509*>(cert_));
}

PemPair TestCa::IssueServer(const std::string& name, const std::string& altNames) {
    return Issue(name, altNames, "serverAuth");
}

PemPair TestCa::IssueClient(const std::string& name) {
    return Issue(name, "", "clientAuth");
}

PemPair TestCa::Issue(const std::string& name, const std::string& altNames, const char* usage) {
    if (!Ok()) return {};
    auto* caCert = static_cast<X509*>(cert_);
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key) return {};
    CertPtr cert = NewCert(key.get(), name, serial_++);
    if (!cert || X509_set_issuer_name(cert.get(), X509_get_subject_name(caCert)) != 1 ||
        !AddExt(cert.get(), caCert, NID_basic_constraints, "critical,CA:FALSE") ||
        !AddExt(cert.get(), caCert, NID_key_usage, "critical,digitalSignature") ||
        !AddExt(cert.get(), caCert, NID_ext_key_usage, usage) ||
        !AddExt(cert.get(), caCert, NID_authority_key_identifier, "keyid") ||
        (!altNames.empty() && !AddExt(cert.get(), caCert, NID_subject_alt_name, altNames)) ||
        X509_sign(cert.get(), static_cast<EVP_PKEY*>(key_), EVP_sha256()) == 0) {
        return {};
    }
    PemPair files{dir_ + "/" + name + ".pem", dir_ + "/" + name + ".key"};
    if (!WritePem(files.cert, cert.get(), nullptr) || !WritePem(files.key, nullptr, key.get())) {
        return {};
    }
    return files;
}

}  // namespace norvex::test
