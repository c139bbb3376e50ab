// The client side of TLS, one per configured server or per fetcher: trust store,
// minimum version and the server check a connection is held to.
//
// The trust store is the system's (OpenSSL's default paths, which honour the
// environment variables SSL_CERT_FILE and SSL_CERT_DIR: tests point them at a CA of
// their own). TLS 1.2 at least; SNI is sent for host names; the certificate must name
// the host (DNS name, or the address when the host is an IP address).
//
// A pinned fingerprint replaces the store: the server's certificate must have that
// SHA-256 digest, whether verification is on or off.
#pragma once
#include "tlsStream.h"

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

struct TlsClientOptions {
    bool verify = true;      // off: any certificate is taken (the caller warns)
    std::string fingerprint; // "sha256:<64 hex digits>", colons between pairs allowed; empty: none
};

class TlsClientContext {
  public:
    explicit TlsClientContext(const TlsClientOptions& options);
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext&) = delete;
    TlsClientContext& operator=(const TlsClientContext&) = delete;

    // False when the context could not be made or the pin is malformed (`problem`
    // says which); every handshake then fails with that reason, never unprotected.
    bool usable() const { return context != nullptr; }
    const std::string& problem() const { return setupProblem; }
    const TlsClientOptions& options() const { return settings; }

    // Runs the handshake over the connected socket `fd` for `host` within `timeoutMs`
    // (< 0: no limit). The stream, or null with `failure` set to a short reason such as
    // "certificate not trusted", "host name mismatch", "expired" or
    // "certificate fingerprint mismatch".
    std::unique_ptr<TlsStream> handshake(int fd, const std::string& host, int timeoutMs,
                                         std::string& failure) const;

  private:
    TlsClientOptions settings;
    std::string pin; // normalized, when pinned
    std::string setupProblem;
    SSL_CTX* context = nullptr;
};
