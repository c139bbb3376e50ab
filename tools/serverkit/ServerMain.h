// The last steps of a test server's main: stop signals, listening, the "port N" line
// that the child-process harness waits for (flushed; nothing else goes to standard
// output), and serving until a stop signal or the server's lifetime ends.
#pragma once
#include "StopSignal.h"

#include <cstdio>

// `Server` has `int listenOn()` (the port or -1) and `void serve(int stopFd)`. Returns
// the process's exit status.
template <class Server> int listenAnnounceServe(Server& server) {
    int stopFd = installStopSignals();
    if (stopFd < 0) return 1;
    int port = server.listenOn();
    if (port < 0) return 1;
    printf("port %d\n", port);
    fflush(stdout);
    server.serve(stopFd);
    return 0;
}
