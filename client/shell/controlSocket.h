// The control socket's plain socket calls, on Unix domain stream sockets. Integers are
// descriptors; -1 means no socket or failure.
#pragma once
#include <cstddef>
#include <sys/types.h>

// A socket bound to `path`, listening with `backlog`; -1 (nothing left open, errno kept)
// when any step fails. An existing file at `path` makes the bind fail (EADDRINUSE).
int sock_listen(const char* path, int backlog);
// One accepted connection (blocking), or -1.
int sock_accept(int listener);
// Connects to the socket at `path` (no time limit); logs "socket OK" and "connect OK"
// after each step. -1 when it failed (nothing left open, errno kept).
int sock_connect(const char* path);
// Closes `socket` unless it is -1: 0 for -1, else the result of close.
int sock_close(int socket);
// The user id of the process at the other end (for a listener's peer: the one that
// listened), or -1 when it cannot be told.
long sock_peer_uid(int socket);
// Waits until `socket` is readable (mode 0), readable or writable (1), writable (2);
// 0 milliseconds waits without limit. 1 ready, 0 time-out, -1 error.
int sock_select(int socket, int mode, int milliseconds);
// Sends all `length` bytes, each round waiting up to 15 s for writability; `sent` keeps
// the running total. The total, or -1 on a time-out or error.
int sock_send(int socket, const char* data, size_t length, size_t* sent);
// Waits up to `milliseconds` for readability, then receives once: the count, 0 when the
// peer closed or on a time-out, -1 on error.
int sock_recv(int socket, char* buffer, size_t size, int milliseconds);
