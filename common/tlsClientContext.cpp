#include "tlsClientContext.h"

#include "tlsFingerprint.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <arpa/inet.h>

namespace {

bool isAddress(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

} // namespace

TlsClientContext::TlsClientContext(const TlsClientOptions& options) : settings(options) {
    if (!settings.fingerprint.empty()) {
        pin = normalizeFingerprint(settings.fingerprint);
        if (pin.empty()) {
            setupProblem = "malformed fingerprint (want sha256:<64 hex digits>)";
            return;
        }
    }
    SSL_CTX* made = SSL_CTX_new(TLS_client_method());
    if (!made) {
        setupProblem = "no TLS context";
        return;
    }
    SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
    SSL_CTX_set_mode(made, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Whole bursts of records per receive: fewer system calls on a fast download.
    SSL_CTX_set_read_ahead(made, 1);
    SSL_CTX_set_default_read_buffer_len(made, 64 * 1024);
    bool byStore = settings.verify && pin.empty();
    if (byStore && SSL_CTX_set_default_verify_paths(made) != 1) {
        SSL_CTX_free(made);
        setupProblem = "cannot load the system's certificate store";
        return;
    }
    SSL_CTX_set_verify(made, byStore ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    ERR_clear_error();
    context = made;
}

TlsClientContext::~TlsClientContext() {
    SSL_CTX_free(context);
}

std::unique_ptr<TlsStream> TlsClientContext::handshake(int fd, const std::string& host,
                                                       int timeoutMs, std::string& failure) const {
    if (!context) {
        failure = setupProblem;
        return nullptr;
    }
    SSL* ssl = SSL_new(context);
    if (!ssl) {
        failure = "no TLS session";
        return nullptr;
    }
    auto stream = std::make_unique<TlsStream>(ssl, fd);
    // SNI always; the name check counts where the store is used.
    if (isAddress(host))
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    }
    SSL_set_connect_state(ssl);
    if (!stream->handshake(timeoutMs)) {
        failure = stream->failure();
        return nullptr;
    }
    if (!pin.empty()) {
        X509* certificate = SSL_get1_peer_certificate(ssl);
        std::string fingerprint = fingerprintOf(certificate);
        X509_free(certificate);
        if (fingerprint != pin) {
            failure = "certificate fingerprint mismatch";
            return nullptr;
        }
    }
    return stream;
}
