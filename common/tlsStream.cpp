#include "tlsStream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The socket end of the BIO below.
struct SocketEnd {
    int fd;
    bool endOfInput;
};

SocketEnd* endOf(BIO* bio) {
    return static_cast<SocketEnd*>(BIO_get_data(bio));
}

bool wouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

// OpenSSL's socket BIO writes with write(), which raises SIGPIPE when the peer has
// gone; this one sends with MSG_NOSIGNAL, so no program needs to ignore the signal.
int bioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t n = ::send(endOf(bio)->fd, data, (size_t)size, MSG_NOSIGNAL);
    if (n < 0 && wouldBlock()) BIO_set_retry_write(bio);
    return (int)n;
}

int bioRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    ssize_t n = ::recv(endOf(bio)->fd, data, (size_t)size, 0);
    if (n < 0 && wouldBlock()) BIO_set_retry_read(bio);
    if (n == 0) endOf(bio)->endOfInput = true;
    return (int)n;
}

long bioControl(BIO* bio, int command, long, void*) {
    if (command == BIO_CTRL_FLUSH) return 1;
    // Lets OpenSSL tell a close without close_notify from a socket error.
    if (command == BIO_CTRL_EOF) return endOf(bio)->endOfInput ? 1 : 0;
    return 0;
}

int bioDestroy(BIO* bio) {
    delete endOf(bio);
    BIO_set_data(bio, nullptr);
    return 1;
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "nosignal socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_destroy(m, bioDestroy);
        return m;
    }();
    return method;
}

// The words the log and the window show for a certificate the client refused.
const char* verifyReason(long result) {
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "expired";
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "certificate not yet valid";
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "host name mismatch";
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return "certificate not trusted";
    default:
        return X509_verify_cert_error_string(result);
    }
}

} // namespace

TlsStream::TlsStream(SSL* ssl, int fd) : ssl(ssl), fd(fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    BIO* bio = BIO_new(socketMethod());
    BIO_set_data(bio, new SocketEnd{fd, false});
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
}

TlsStream::~TlsStream() {
    SSL_free(ssl);
}

bool TlsStream::handshake(int timeoutMs) {
    long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    for (;;) {
        ERR_clear_error();
        int rc = SSL_do_handshake(ssl);
        if (rc == 1) return true;
        int error = SSL_get_error(ssl, rc);
        bool timedOut = false;
        if (waitFor(error, deadline, timedOut)) continue;
        if (timedOut) lastFailure = "handshake timed out";
        return false;
    }
}

int TlsStream::read(char* buffer, size_t size, int timeoutMs) {
    long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    size = size > INT_MAX ? INT_MAX : size;
    for (;;) {
        ERR_clear_error();
        size_t got = 0;
        if (SSL_read_ex(ssl, buffer, size, &got) == 1) return (int)got;
        int error = SSL_get_error(ssl, 0);
        if (error == SSL_ERROR_ZERO_RETURN) {
            lastFailure = "closed by the peer";
            return 0;
        }
        bool timedOut = false;
        if (waitFor(error, deadline, timedOut)) continue;
        return timedOut ? kTimedOut : -1;
    }
}

long TlsStream::write(const char* data, size_t size, int timeoutMs) {
    long long deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    size_t done = 0;
    while (done < size) {
        ERR_clear_error();
        size_t sent = 0;
        if (SSL_write_ex(ssl, data + done, size - done, &sent) == 1) {
            done += sent;
            continue;
        }
        int error = SSL_get_error(ssl, 0);
        bool timedOut = false;
        if (waitFor(error, deadline, timedOut)) continue;
        return timedOut ? (long)done : -1;
    }
    return (long)done;
}

bool TlsStream::waitFor(int sslError, long long deadline, bool& timedOut) {
    short events = sslError == SSL_ERROR_WANT_READ    ? POLLIN
                   : sslError == SSL_ERROR_WANT_WRITE ? POLLOUT
                                                      : 0;
    if (!events) {
        noteFailure(sslError);
        return false;
    }
    for (;;) {
        int ms = -1;
        if (deadline >= 0) {
            long long left = deadline - nowMs();
            ms = left > 0 ? (int)left : 0;
        }
        pollfd p{fd, events, 0};
        int ready = poll(&p, 1, ms);
        if (ready > 0) return true; // a hang-up or error shows in the next SSL call
        if (ready == 0) {
            timedOut = true;
            lastFailure = "timed out";
            return false;
        }
        if (errno != EINTR) {
            lastFailure = strerror(errno);
            return false;
        }
    }
}

void TlsStream::noteFailure(int sslError) {
    // Only a session that checks the peer refuses it for its certificate.
    long verified =
        SSL_get_verify_mode(ssl) & SSL_VERIFY_PEER ? SSL_get_verify_result(ssl) : X509_V_OK;
    unsigned long code = ERR_peek_error();
    if (verified != X509_V_OK)
        lastFailure = verifyReason(verified);
    else if ((sslError == SSL_ERROR_SSL &&
              ERR_GET_REASON(code) == SSL_R_UNEXPECTED_EOF_WHILE_READING) ||
             (sslError == SSL_ERROR_SYSCALL && errno == 0))
        lastFailure = "connection closed without close_notify";
    else if (sslError == SSL_ERROR_SYSCALL)
        lastFailure = strerror(errno);
    else if (code) {
        const char* reason = ERR_reason_error_string(code);
        lastFailure = reason ? reason : "TLS error";
    } else
        lastFailure = "TLS error";
    ERR_clear_error();
    broken = true;
}

bool TlsStream::buffered() const {
    return SSL_has_pending(ssl) == 1;
}

void TlsStream::closeNotify() {
    // After a fatal error the session must not be shut down cleanly.
    if (broken) return;
    ERR_clear_error();
    SSL_shutdown(ssl);
    ERR_clear_error();
}

std::string TlsStream::description() const {
    return std::string(SSL_get_version(ssl)) + " " + SSL_get_cipher_name(ssl);
}
