// A blocking TCP client with a time-out on every wait (readiness waits by poll). The
// NNTP connection and the update check's HTTP client derive from it.
//
// Results: 0 success, -1 failure (a failed wait or receive has closed the socket),
// -2 a send that did not go out whole, -3 a send whose wait failed.
//
// Receiving reads ahead: a line reader takes what one receive brought and keeps the
// rest for the next reader, so a status line costs one system call, not one per byte,
// and no byte the peer sent is lost between readers. Closing drops what was kept.
//
// With a TLS context set, every connect runs the TLS handshake right after the TCP
// connect (implicit TLS) and every byte goes through it; a failed handshake is a failed
// connect, never a plain connection. The waits, the read-ahead and `interrupt()` work
// the same.
//
// Threads: one owner thread does everything, except `interrupt()`, which any thread
// may call to break off the owner's blocked wait; the owner then sees a failure and
// closes the socket itself.
#pragma once
#include "tlsClientContext.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

class cTCPclient {
  public:
    // The most one `recvE` into a text keeps: past it the peer counts as broken.
    static constexpr size_t kMaxData = 64 * 1024 * 1024;
    static constexpr int kDefaultTimeout = 10;

    explicit cTCPclient(int socket = -1);
    virtual ~cTCPclient();
    cTCPclient(const cTCPclient&) = delete;
    cTCPclient& operator=(const cTCPclient&) = delete;

    // Takes the host (any length) if given, the port and the time-out in seconds if
    // non-zero; connects now when `connectNow` is non-zero and yields that result.
    int connect(const char* host, int port, int timeout, int connectNow);
    // Closes any open socket, resolves the host, connects to its first IPv4 address.
    int connect();
    // Adopts a connected socket; -1 when it is none.
    int connect(unsigned socket);
    // Closes the socket; -1 when there was none.
    int close();
    // Waits until the socket is readable (mode 0), readable or writable (1), writable
    // (2); 0 seconds waits without limit. 0 when ready (read-ahead bytes count as
    // readable); otherwise closes, yields -1.
    int select(int mode, int seconds);
    // Sends `length` bytes (0: the text length of `data`).
    int send(const char* data, int length);
    // Receives at most `size` bytes into `buffer` (which holds size + 1) and ends them
    // with a zero byte; yields the count, or -1 (closed) on a time-out, error or end.
    int recv(char* buffer, int size);
    // Reads until `end` or `length` bytes; the count when it ended on `end` (the byte is
    // kept), otherwise -1. Nothing after `end` is taken.
    int recvE(char* buffer, int length, char end);
    // Empties `data`, then receives until it ends with `terminator`; yields its length.
    // Every byte counts, zero bytes too. Each chunk's size is added to `counter`, or,
    // when `resetFlag` is set, starts it afresh and clears the flag. -1 when a receive
    // fails or the data would pass `limit` (the socket is then closed). The bytes are
    // received straight into `data`, whose capacity is kept: a reused text stops
    // growing once it has held the largest answer.
    int recvE(std::string* data, const char* terminator, std::atomic<int>* counter,
              std::atomic<int>* resetFlag, size_t limit = kMaxData);
    // Breaks off a blocked wait of the owner thread (shutdown of the socket, which the
    // owner still closes). Safe from any thread, also while the owner closes. It holds
    // until `clearInterrupt`: a connect under way while no socket existed yet fails as
    // soon as its socket exists.
    void interrupt();
    void clearInterrupt();

    // TLS for every later connect; null: plain TCP.
    void set_tls(std::unique_ptr<TlsClientContext> context);
    bool tlsOn() const { return tlsContext != nullptr; }
    // Why the last connect failed, e.g. "TLS: expired"; "" after one that succeeded.
    // Any thread may read it (it is always a terminated text).
    const char* connectFailure() const { return failureText; }

    // The time-out of every wait in seconds (0: no limit); `set_host` of the NNTP
    // connection sets 30 s, tests set a few.
    void set_timeout(int timeoutSeconds) { seconds = timeoutSeconds; }

    const char* host() const { return hostname.c_str(); }
    unsigned short port() const { return hostport; }
    int timeout() const { return seconds; }
    bool isOpen() const { return sock.load() >= 0; }

  private:
    // Connects `fd` to `address` within the time-out; 0 when connected.
    int connectWithin(int fd, const void* address, unsigned length);
    // Takes `fd` as the socket; false when an interrupt is pending.
    bool setSocket(int fd);
    // The TLS handshake over the connected socket; 0, or -1 (closed).
    int startTls();
    // Closes and keeps `reason` as the connect failure; -1.
    int failConnect(const std::string& reason);
    // The wait of one operation in milliseconds (< 0: no limit).
    int waitMs() const { return seconds ? seconds * 1000 : -1; }
    // One wait and receive of at most `size` bytes into `buffer`: the count, or -1
    // (closed).
    int receive(char* buffer, size_t size);
    // Refills the empty read-ahead buffer: 0, or -1 (closed).
    int readAhead();
    size_t aheadCount() const { return aheadEnd - aheadBegin; }

    std::string hostname;
    unsigned short hostport = 0;
    int seconds = kDefaultTimeout;
    std::atomic<int> sock{-1};
    // Held while the socket is replaced or closed, so `interrupt` never reaches a
    // descriptor number that was already reused.
    std::mutex socketLock;
    bool interrupted = false; // guarded by socketLock
    std::unique_ptr<TlsClientContext> tlsContext;
    // The session of the open connection when TLS is on. The owner thread's alone.
    std::unique_ptr<TlsStream> tls;
    char failureText[160] = {};
    // Received, not yet taken: ahead[aheadBegin, aheadEnd). The owner thread's alone.
    std::unique_ptr<char[]> ahead;
    size_t aheadBegin = 0, aheadEnd = 0;
};
