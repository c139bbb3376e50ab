#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

int listenOnLoopback(int port, const char* program, int& listenFd) {
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) {
        perror((std::string(program) + ": socket").c_str());
        return -1;
    }
    int one = 1;
    setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)port);
    if (bind(listenFd, (sockaddr*)&address, sizeof address) != 0 || listen(listenFd, 128) != 0) {
        perror((std::string(program) + ": bind").c_str());
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(listenFd, (sockaddr*)&address, &length);
    return ntohs(address.sin_port);
}
