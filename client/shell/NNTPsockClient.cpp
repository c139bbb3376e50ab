#include "NNTPsock.h"
#include "controlReply.h"
#include "controlSocket.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <sysexits.h>
#include <thread>

namespace {

const int kConnectAttempts = 150;
const auto kAttemptPause = std::chrono::milliseconds(200);

} // namespace

int NNTPsockClient(const std::string& text) {
    int socket = -1;
    for (int attempt = 1; socket < 0; ++attempt) {
        socket = sock_connect("127.0.0.1", CONTROL_PORT);
        if (socket >= 0) break;
        int error = errno ? errno : ECONNREFUSED;
        if (attempt == kConnectAttempts) return error;
        std::this_thread::sleep_for(kAttemptPause);
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
