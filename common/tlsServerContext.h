// The server side of TLS for our test servers: one certificate and key, TLS 1.2 at least.
#pragma once
#include "tlsStream.h"

#include <memory>
#include <string>

typedef struct ssl_ctx_st SSL_CTX;

class TlsServerContext {
  public:
    // Loads the PEM certificate (chain) and private key.
    TlsServerContext(const std::string& certificateFile, const std::string& keyFile);
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    // False when the files could not be loaded or do not match; `problem` says why.
    bool usable() const { return context != nullptr; }
    const std::string& problem() const { return setupProblem; }

    // Runs the server handshake over the accepted socket `fd` within `timeoutMs`; the
    // stream, or null with `failure` set.
    std::unique_ptr<TlsStream> accept(int fd, int timeoutMs, std::string& failure) const;

  private:
    std::string setupProblem;
    SSL_CTX* context = nullptr;
};
