// Socket layer of the fetcher: plain blocking-style calls over a non-blocking socket,
// each wait bounded by a time-out and by the request's deadline, and cut short when the
// worker thread is stopped (CThreadSingle's wake-up descriptor). None of them closes
// the socket: its owner closes it once.
#pragma once
#include <chrono>

// How long waits may last: each at most `waitSeconds` (0: no limit of its own), and
// none beyond `deadline`.
struct TWaitBounds {
    using Clock = std::chrono::steady_clock;

    explicit TWaitBounds(int waitSeconds, int deadlineSeconds = 0);

    // Milliseconds the next wait may take; -1 for no limit at all.
    int nextWaitMs() const;
    bool deadlinePassed() const;

    int waitSeconds;
    Clock::time_point deadline; // Clock::time_point::max(): none
};

class CTcpClient {
  public:
    enum TSelect { waitReadable = 0, waitWritable = 1, waitEither = 2 };

    // Resolves `host` (first IPv4 address) and connects to `port`. The socket, or -1
    // when the name does not resolve or the connection fails or does not complete in time.
    static int connect(const char* host, int port, const TWaitBounds& bounds);
    // Waits until the socket is ready in `mode`. Returns 0 when ready, -2 on time-out,
    // error or stop of the worker thread.
    static int select(int socket, TSelect mode, const TWaitBounds& bounds);
    // Sends all `length` bytes (0: the text length of `data`). 0 when all were sent,
    // -1 when a wait failed, -2 when sending failed.
    static int send(int socket, const char* data, int length, const TWaitBounds& bounds);
    // Receives up to `size` bytes into `buffer`, which must hold one more for the NUL
    // stored after them. Returns the count, 0 when the peer closed, -1 on failure.
    static int recv(int socket, char* buffer, int size, const TWaitBounds& bounds);
    static int close(int socket);
};
