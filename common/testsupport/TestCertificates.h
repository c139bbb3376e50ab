// Certificates made afresh for one test run: a CA of the test's own (to be given to
// the client as its trust store through SSL_CERT_FILE) and server certificates that
// a client must take or refuse for a known reason.
#pragma once
#include <string>

struct TestCertificate {
    std::string certificate; // PEM file
    std::string key;         // PEM file
};

class TestCertificates {
  public:
    // Writes every file into `folder` (which must exist).
    explicit TestCertificates(const std::string& folder);

    // False when OpenSSL could not make or write them.
    bool ok() const { return made; }

    std::string ca;             // the CA certificate: the trust store of the test
    TestCertificate localhost;  // by the CA, for localhost and 127.0.0.1, valid now
    TestCertificate otherName;  // by the CA, for other.invalid only
    TestCertificate expired;    // by the CA, for localhost, expired yesterday
    TestCertificate selfSigned; // for localhost, signed by its own key

    // The pin of a certificate file: "sha256:<hex>", or "" when unreadable.
    static std::string fingerprint(const std::string& certificateFile);

  private:
    bool made = false;
};
