// One accepted connection of a test server, plain or over TLS. Reads and writes wait
// in short steps, so the connection's thread can look at its server's stop flag in
// between. The socket stays the caller's; a TLS session is ended before it goes.
#pragma once
#include "tlsServerContext.h"

#include <cstddef>
#include <memory>
#include <string>

class ServerConnection {
  public:
    static constexpr int kNothingYet = -2;

    explicit ServerConnection(int fd) : fd(fd) {}

    // The server's side of the TLS handshake; false with the reason in `failure`.
    bool startTls(const TlsServerContext& context, int timeoutMs, std::string& failure);
    // At most `size` bytes within `ms`: their count, 0 when the client ended the
    // connection, -1 on an error, kNothingYet when nothing came in time.
    int receive(char* buffer, size_t size, int ms);
    // At most `size` bytes within `ms`: how many went out (0 when none could), or -1
    // on an error.
    long send(const char* data, size_t size, int ms);
    // Ends the sending side (close_notify over TLS, then a half-close), so that the
    // client sees a clean end before the socket goes.
    void finishSending();

  private:
    int fd;
    std::unique_ptr<TlsStream> tls;
};
