// One TLS connection over a connected socket, client or server side. Every wait is a
// poll with a time-out; records that arrive in pieces and renegotiation-style wants
// (a read that must write first, or the reverse) are handled here. The socket stays
// the caller's: it is made non-blocking, never closed here. A `shutdown` of the
// socket from another thread breaks off any wait (the operation then fails).
//
// Made by `TlsClientContext::handshake` or `TlsServerContext::accept`.
#pragma once
#include <cstddef>
#include <string>

typedef struct ssl_st SSL;

class TlsStream {
  public:
    static constexpr int kTimedOut = -2;

    TlsStream(SSL* ssl, int fd);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // Reads at most `size` bytes: their count; 0 when the peer ended the session with
    // close_notify; -1 on an error or a close without close_notify (see `failure`);
    // kTimedOut when nothing came within `timeoutMs` (< 0: no limit).
    int read(char* buffer, size_t size, int timeoutMs);
    // Writes `size` bytes: how many went out before the time ran out (all of them when
    // the result equals `size`), or -1 on an error.
    long write(const char* data, size_t size, int timeoutMs);
    // Bytes received and not yet read, decrypted or not: a poll of the socket does not
    // see them.
    bool buffered() const;
    // Sends close_notify without waiting for the peer's.
    void closeNotify();

    // Protocol and cipher, e.g. "TLSv1.3 TLS_AES_256_GCM_SHA384".
    std::string description() const;
    // Why the last operation failed.
    const std::string& failure() const { return lastFailure; }

    // Runs the handshake of a fresh `SSL` bound to `fd` (connect or accept state set);
    // true when done, else `failure` says why. Used by the two contexts.
    bool handshake(int timeoutMs);

  private:
    // Waits for what `SSL_get_error` asked for; false on a time-out (`timedOut` set) or
    // an error. `deadline` in steady milliseconds, < 0 without limit.
    bool waitFor(int sslError, long long deadline, bool& timedOut);
    // Names the failure of an SSL call that yielded `sslError`.
    void noteFailure(int sslError);

    SSL* ssl;
    int fd;
    std::string lastFailure;
    bool broken = false; // a fatal error happened: no close_notify then
};
