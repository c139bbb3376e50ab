#include "controlReply.h"

#include "NNTPsock.h"
#include "controlSocket.h"

#include <sys/socket.h>

namespace {

// The instance answers once the message is handled: an import of the largest NZB it
// accepts takes well under this.
const int kReplyMs = 600 * 1000;

} // namespace

void sendReply(int connection, const std::string& reply) {
    size_t sent = 0;
    if (!reply.empty()) sock_send(connection, reply.data(), reply.size(), &sent);
}

std::string awaitReply(int socket) {
    std::string reply;
    shutdown(socket, SHUT_WR);
    char buffer[MAX_MESSAGE];
    // sock_recv waits for readability itself, up to kReplyMs.
    while (reply.size() < MAX_MESSAGE) {
        int count = sock_recv(socket, buffer, MAX_MESSAGE - reply.size(), kReplyMs);
        if (count <= 0) break;
        reply.append(buffer, (size_t)count);
    }
    return reply;
}
