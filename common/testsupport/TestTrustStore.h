// Certificates made for one test, with their CA as OpenSSL's trust store (through
// SSL_CERT_FILE) for as long as the object lives: clients made meanwhile trust the
// test's servers and nothing else.
#pragma once
#include "TestCertificates.h"
#include "TestFolders.h"

#include <cstdlib>

class TestTrustStore {
  public:
    TestTrustStore() : certificates(folder.path) {
        setenv("SSL_CERT_FILE", certificates.ca.c_str(), 1);
        unsetenv("SSL_CERT_DIR");
    }
    ~TestTrustStore() { unsetenv("SSL_CERT_FILE"); }
    TestTrustStore(const TestTrustStore&) = delete;
    TestTrustStore& operator=(const TestTrustStore&) = delete;

    bool ok() const { return !folder.path.empty() && certificates.ok(); }

  private:
    TempFolder folder{"trust_store"};

  public:
    TestCertificates certificates;
};
