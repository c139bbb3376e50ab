// Servers and helpers of the connection tests: a scripted one-connection server on
// 127.0.0.1 for dialogues our test news server cannot produce.
#pragma once
#include "cTCPclientNNTP.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

// A one-connection server on 127.0.0.1 run by a test-provided routine on its own thread.
class ScriptedServer {
  public:
    explicit ScriptedServer(std::function<void(int)> script) {
        listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd, (sockaddr*)&address, sizeof address);
        listen(listenFd, 1);
        socklen_t length = sizeof address;
        getsockname(listenFd, (sockaddr*)&address, &length);
        listenPort = ntohs(address.sin_port);
        thread = std::thread([this, script] {
            pollfd p{listenFd, POLLIN, 0};
            if (poll(&p, 1, 30000) <= 0) return;
            int fd = accept(listenFd, nullptr, nullptr);
            if (fd < 0) return;
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            script(fd);
            close(fd);
        });
    }
    ~ScriptedServer() {
        thread.join();
        close(listenFd);
    }
    int port() const { return listenPort; }

    static bool sendText(int fd, const std::string& text) {
        return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == (ssize_t)text.size();
    }
    // Reads up to and including the next line feed; false when the peer closed.
    static bool readLine(int fd) {
        char byte = 0;
        while (byte != '\n')
            if (recv(fd, &byte, 1, 0) != 1) return false;
        return true;
    }

  private:
    int listenFd = -1;
    int listenPort = 0;
    std::thread thread;
};

// Points a connection at a server on 127.0.0.1, optionally with a shorter time-out.
inline void aimAt(cTCPclientNNTP& client, int port, int timeoutSeconds = cTCPclientNNTP::kTimeout) {
    client.set_host("127.0.0.1", (unsigned short)port);
    client.set_timeout(timeoutSeconds);
}
