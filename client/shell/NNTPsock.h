// The running instance and the messenger: the first start of the program listens on the
// control socket of its program folder and serves; every later start sends its joined
// command line there.
#pragma once
#include <string>
#include <vector>

class NNTPmodel;

// The largest control message; longer ones are handled as their first MAX_MESSAGE bytes.
constexpr size_t MAX_MESSAGE = 1023;

// The message words of the command line, each followed by one blank, cut to
// MAX_MESSAGE characters; empty without words.
std::string joinCommandLine(const std::vector<std::string>& arguments);

// Runs the running instance on `listener` from start-up to shutdown, first handling its
// own `commandLine`; the window comes up at start when `autoloadWindow` and the
// configuration say so. Returns the exit code.
int NNTPsockServer(int listener, const std::string& commandLine, bool autoloadWindow);

// Forwards `text` to the running instance listening on `socketPath` (150 connect attempts
// 200 ms apart) and waits for its answer. 0 when it went out whole and was handled;
// EX_DATAERR when the instance answered why it could not be (an NZB that yields no
// files), that line then on standard error; EACCES, with nothing sent, when the socket
// belongs to another user; else the system's last error code.
int NNTPsockClient(const std::string& socketPath, const std::string& text);

// Interprets one control message against the model. Returns the answer for its sender:
// empty, or the one line saying why an import yielded nothing.
std::string NNTPsockHandler(NNTPmodel* model, const char* text);
