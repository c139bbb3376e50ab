#include "SocketFeed.h"
#include "FuzzOracle.h"

#include <sys/socket.h>
#include <unistd.h>

SocketFeed::SocketFeed(std::string_view data) {
    if (data.size() > kMaxBytes) fuzzFail("more bytes than a socket feed holds");
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) fuzzFail("no socket pair");
    int room = (int)kMaxBytes * 2;
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    for (size_t sent = 0; sent < data.size();) {
        ssize_t count = send(pair[1], data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) fuzzFail("the socket feed did not take the bytes");
        sent += (size_t)count;
    }
    // The reader sees the end after the data; what it sends is taken and never read.
    shutdown(pair[1], SHUT_WR);
    writer = pair[1];
    reader = pair[0];
}

SocketFeed::~SocketFeed() {
    if (reader >= 0) close(reader);
    close(writer);
}

int SocketFeed::release() {
    int fd = reader;
    reader = -1;
    return fd;
}
