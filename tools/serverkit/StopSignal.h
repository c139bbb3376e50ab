// How a test server learns that it is to end: SIGTERM or SIGINT, and also the end of
// the thread that started it (parent-death signal), so that a test that dies leaves no
// server behind. SIGPIPE is ignored: a client that hangs up must not kill the server.
#pragma once

// Installs the handlers; returns a descriptor that becomes readable once a stop signal
// came (to be polled beside the listening socket), or -1.
int installStopSignals();
