// The running instance's claim on its control socket: taken at start unless a live
// instance holds it, given back at the end.
#pragma once
#include <string>
#include <sys/types.h>

struct ControlListener {
    int fd = -1; // the listening socket; -1 when this process is no instance
    dev_t device = 0;
    ino_t inode = 0; // the socket file it made, so that only that one is removed
};

// Listens on `path` with `backlog`. A socket file of ours that refuses connections (its
// instance was killed) is removed and replaced; one that answers is never taken over.
// fd -1 when a live instance answers or the path cannot be bound.
ControlListener claimControlSocket(const std::string& path, int backlog);

// Removes the socket file if it is still the one the claim made (a later instance may
// already have replaced it). The listener itself is closed by its owner.
void releaseControlSocket(const std::string& path, const ControlListener& listener);
