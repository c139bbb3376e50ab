// One connection of a fetch: a socket, closed when the stream goes. Every wait is bounded
// by the request's wait bounds.
#pragma once
#include "CTcpClient.h"
#include "HttpAddress.h"

#include <string>

class CHttpStream {
  public:
    explicit CHttpStream(const TWaitBounds& bounds) : bounds(bounds) {}
    ~CHttpStream();
    CHttpStream(const CHttpStream&) = delete;
    CHttpStream& operator=(const CHttpStream&) = delete;

    // Connects to the address. False, with the reason in `error`, when that fails.
    bool open(const THttpAddress& address, std::string& error);
    // Takes a connected socket, which the stream then owns.
    void adopt(int socket);

    // As CTcpClient::send and CTcpClient::recv.
    int send(const char* data, int length);
    int recv(char* buffer, int size);

    const TWaitBounds& waitBounds() const { return bounds; }

  private:
    const TWaitBounds& bounds;
    int socket = -1;
};
