// The control socket's plain socket calls. Integers are descriptors; -1 means no socket
// or failure. Every send and receive waits at most 15 seconds for the socket.
#pragma once
#include <cstddef>

// The one port the running instance listens on.
constexpr int CONTROL_PORT = 6000;

// A TCP socket bound to 127.0.0.1:`port` (address reuse on), listening with `backlog`;
// -1 (nothing left open) when any step fails.
int sock_listen(int port, int backlog);
// One accepted connection (blocking), or -1.
int sock_accept(int listener);
// Resolves `host`, connects to its first address (no time limit); logs "hostname OK",
// "socket OK", "connect OK" after each step. -1 when it failed (nothing left open).
int sock_connect(const char* host, int port);
// Closes `socket` unless it is -1: 0 for -1, else the result of close.
int sock_close(int socket);
// Waits until `socket` is readable (mode 0), readable or writable (1), writable (2);
// 0 seconds waits without limit. 1 ready, 0 time-out, -1 error.
int sock_select(int socket, int mode, int seconds);
// Sends all `length` bytes, each round waiting up to 15 s for writability; `sent` keeps
// the running total. The total, or -1 on a time-out or error.
int sock_send(int socket, const char* data, size_t length, size_t* sent);
// Waits up to 15 s for readability, then receives once: the count, 0 when the peer
// closed or on a time-out, -1 on error.
int sock_recv(int socket, char* buffer, size_t size);
