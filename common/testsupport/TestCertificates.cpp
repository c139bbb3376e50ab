#include "TestCertificates.h"

#include "tlsFingerprint.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace {

const long kDay = 24 * 3600;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Certificate = std::unique_ptr<X509, decltype(&X509_free)>;

Key newKey() {
    return Key(EVP_EC_gen("P-256"), EVP_PKEY_free);
}

bool addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension) return false;
    bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

struct Request {
    const char* commonName;
    const char* altNames; // null for a CA
    long fromDays, untilDays;
};

// A certificate for `key`, signed by `issuerKey` as `issuer` (null: by itself).
Certificate makeCertificate(EVP_PKEY* key, const Request& request, X509* issuer,
                            EVP_PKEY* issuerKey) {
    static long serial = 1;
    Certificate certificate(X509_new(), X509_free);
    X509* x = certificate.get();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial++);
    X509_gmtime_adj(X509_getm_notBefore(x), request.fromDays * kDay);
    X509_gmtime_adj(X509_getm_notAfter(x), request.untilDays * kDay);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(request.commonName), -1,
                               -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : x;
    bool ok = request.altNames
                  ? addExtension(x, signer, NID_basic_constraints, "CA:FALSE") &&
                        addExtension(x, signer, NID_subject_alt_name, request.altNames)
                  : addExtension(x, signer, NID_basic_constraints, "critical,CA:TRUE") &&
                        addExtension(x, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    if (!ok || !X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256()))
        return Certificate(nullptr, X509_free);
    return certificate;
}

bool writeCertificate(const std::string& path, X509* certificate) {
    FILE* file = fopen(path.c_str(), "w");
    if (!file) return false;
    bool ok = PEM_write_X509(file, certificate) == 1;
    return fclose(file) == 0 && ok;
}

bool writeKey(const std::string& path, EVP_PKEY* key) {
    FILE* file = fopen(path.c_str(), "w");
    if (!file) return false;
    bool ok = PEM_write_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    return fclose(file) == 0 && ok;
}

} // namespace

TestCertificates::TestCertificates(const std::string& folder) {
    Key caKey = newKey();
    if (!caKey) return;
    Certificate caCertificate =
        makeCertificate(caKey.get(), {"Corvane Test CA", nullptr, -1, 30}, nullptr, nullptr);
    ca = folder + "/ca.pem";
    if (!caCertificate || !writeCertificate(ca, caCertificate.get())) return;

    struct Leaf {
        TestCertificate& files;
        const char* name;
        Request request;
        bool selfSigned;
    };
    const char* local = "DNS:localhost,IP:127.0.0.1";
    Leaf leaves[] = {
        {localhost, "localhost", {"localhost", local, -1, 30}, false},
        {otherName, "other", {"other.invalid", "DNS:other.invalid", -1, 30}, false},
        {expired, "expired", {"localhost", local, -30, -1}, false},
        {selfSigned, "selfsigned", {"localhost", local, -1, 30}, true},
    };
    for (Leaf& leaf : leaves) {
        Key key = newKey();
        if (!key) return;
        Certificate certificate =
            leaf.selfSigned
                ? makeCertificate(key.get(), leaf.request, nullptr, nullptr)
                : makeCertificate(key.get(), leaf.request, caCertificate.get(), caKey.get());
        leaf.files.certificate = folder + "/" + leaf.name + ".pem";
        leaf.files.key = folder + "/" + leaf.name + ".key";
        if (!certificate || !writeCertificate(leaf.files.certificate, certificate.get()) ||
            !writeKey(leaf.files.key, key.get()))
            return;
    }
    made = true;
}

std::string TestCertificates::fingerprint(const std::string& certificateFile) {
    return fingerprintOfFile(certificateFile);
}
