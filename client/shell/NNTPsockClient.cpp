#include "NNTPsock.h"
#include "controlReply.h"
#include "controlSocket.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <sysexits.h>
#include <thread>
#include <unistd.h>

namespace {

const int kConnectAttempts = 150;
const auto kAttemptPause = std::chrono::milliseconds(200);

} // namespace

int NNTPsockClient(const std::string& socketPath, const std::string& text) {
    int socket = -1;
    for (int attempt = 1; socket < 0; ++attempt) {
        socket = sock_connect(socketPath.c_str());
        if (socket >= 0) break;
        int error = errno ? errno : ECONNREFUSED;
        if (attempt == kConnectAttempts) return error;
        std::this_thread::sleep_for(kAttemptPause);
    }
    // Our command lines name private files: they go to our own instance only.
    long owner = sock_peer_uid(socket);
    if (owner != (long)geteuid()) {
        fprintf(stderr, "corvane: the control socket %s is held by user %ld, not by this user; "
                        "nothing was sent\n", socketPath.c_str(), owner);
        sock_close(socket);
        return EACCES;
    }
    size_t sent = 0;
    int result = sock_send(socket, text.data(), text.size(), &sent);
    int error = errno ? errno : EIO;
    printf("send: %d, %.65s \n", result, text.c_str());
    std::string reply = sent == text.size() ? awaitReply(socket) : "";
    sock_close(socket);
    if (!reply.empty()) {
        fflush(stdout);
        fprintf(stderr, "%s\n", reply.c_str());
        return EX_DATAERR;
    }
    return sent == text.size() ? 0 : error;
}
