#include "tlsServerContext.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

TlsServerContext::TlsServerContext(const std::string& certificateFile,
                                   const std::string& keyFile) {
    SSL_CTX* made = SSL_CTX_new(TLS_server_method());
    if (!made) {
        setupProblem = "no TLS context";
        return;
    }
    SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
    SSL_CTX_set_mode(made, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate_chain_file(made, certificateFile.c_str()) != 1)
        setupProblem = "cannot load certificate " + certificateFile;
    else if (SSL_CTX_use_PrivateKey_file(made, keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        setupProblem = "cannot load key " + keyFile;
    else if (SSL_CTX_check_private_key(made) != 1)
        setupProblem = "key does not match certificate";
    ERR_clear_error();
    if (!setupProblem.empty()) {
        SSL_CTX_free(made);
        return;
    }
    context = made;
}

TlsServerContext::~TlsServerContext() {
    SSL_CTX_free(context);
}

std::unique_ptr<TlsStream> TlsServerContext::accept(int fd, int timeoutMs,
                                                    std::string& failure) const {
    SSL* ssl = context ? SSL_new(context) : nullptr;
    if (!ssl) {
        failure = context ? "no TLS session" : setupProblem;
        return nullptr;
    }
    auto stream = std::make_unique<TlsStream>(ssl, fd);
    SSL_set_accept_state(ssl);
    if (!stream->handshake(timeoutMs)) {
        failure = stream->failure();
        return nullptr;
    }
    return stream;
}
