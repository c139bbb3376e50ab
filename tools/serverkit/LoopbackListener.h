// The listening socket of a test server: 127.0.0.1 only, never another interface.
#pragma once

// Binds 127.0.0.1:`port` (0: any free port) and listens. Returns the port and sets
// `listenFd`, or returns -1 with a line on stderr that starts with `program`.
int listenOnLoopback(int port, const char* program, int& listenFd);
