#include "tlsClientContext.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cctype>

namespace {

bool isAddress(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = (char)tolower((unsigned char)c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The 32 digest bytes of a pin, or "" when malformed.
std::string pinBytes(const std::string& pin) {
    const std::string prefix = "sha256:";
    if (pin.size() < prefix.size()) return "";
    for (size_t i = 0; i < prefix.size(); ++i)
        if (tolower((unsigned char)pin[i]) != prefix[i]) return "";
    std::string bytes;
    int high = -1;
    for (size_t i = prefix.size(); i < pin.size(); ++i) {
        if (pin[i] == ':' && high < 0) continue;
        int value = hexValue(pin[i]);
        if (value < 0) return "";
        if (high < 0)
            high = value;
        else {
            bytes += (char)(high * 16 + value);
            high = -1;
        }
    }
    return high < 0 && bytes.size() == 32 ? bytes : "";
}

// SHA-256 of the certificate's DER form.
std::string certificateDigest(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (!X509_digest(certificate, EVP_sha256(), digest, &length)) return "";
    return std::string(reinterpret_cast<char*>(digest), length);
}

} // namespace

std::string TlsClientContext::normalizeFingerprint(const std::string& pin) {
    std::string bytes = pinBytes(pin);
    if (bytes.empty()) return "";
    static const char digits[] = "0123456789abcdef";
    std::string text = "sha256:";
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

TlsClientContext::TlsClientContext(const TlsClientOptions& options) : settings(options) {
    if (!settings.fingerprint.empty()) {
        pinDigest = pinBytes(settings.fingerprint);
        if (pinDigest.empty()) {
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
    bool byStore = settings.verify && pinDigest.empty();
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
    if (!pinDigest.empty()) {
        X509* certificate = SSL_get1_peer_certificate(ssl);
        std::string digest = certificate ? certificateDigest(certificate) : "";
        X509_free(certificate);
        if (digest != pinDigest) {
            failure = "certificate fingerprint mismatch";
            return nullptr;
        }
    }
    return stream;
}
