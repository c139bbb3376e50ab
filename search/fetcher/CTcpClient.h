// Socket layer of the fetcher: plain blocking-style calls over a non-blocking socket,
// each wait bounded by a time-out and cut short when the worker thread is stopped
// (CThreadSingle's wake-up descriptor). None of them closes the socket: its owner
// closes it once.
#pragma once

class CTcpClient {
  public:
    enum TSelect { waitReadable = 0, waitWritable = 1, waitEither = 2 };
    static const int kWaitSeconds = 30;

    // Resolves `host` (first IPv4 address) and connects to `port`. The socket, or -1
    // when the name does not resolve or the connection fails or does not complete in time.
    static int connect(const char* host, int port, int waitSeconds = kWaitSeconds);
    // Waits until the socket is ready in `mode`; 0 seconds means no time-out. Returns 0
    // when ready, -2 on time-out, error or stop of the worker thread.
    static int select(int socket, TSelect mode, int waitSeconds);
    // Sends all `length` bytes (0: the text length of `data`). 0 when all were sent,
    // -1 when a wait failed, -2 when sending failed.
    static int send(int socket, const char* data, int length, int waitSeconds = kWaitSeconds);
    // Receives up to `size` bytes into `buffer`, which must hold one more for the NUL
    // stored after them. Returns the count, 0 when the peer closed, -1 on failure.
    static int recv(int socket, char* buffer, int size, int waitSeconds = kWaitSeconds);
    static int close(int socket);
};
