// One connection of a fetch: a socket, with a TLS session over it for https, closed
// when the stream goes. Every wait is bounded by the request's wait bounds and ends
// early when the worker thread is stopped.
#pragma once
#include "CTcpClient.h"
#include "HttpAddress.h"

#include <memory>
#include <string>

class TlsClientContext;
class TlsStream;

class CHttpStream {
  public:
    // `tls` checks the servers of https addresses; null when there is none.
    CHttpStream(const TWaitBounds& bounds, const TlsClientContext* tls);
    ~CHttpStream();
    CHttpStream(const CHttpStream&) = delete;
    CHttpStream& operator=(const CHttpStream&) = delete;

    // Connects to the address, for https with the server's certificate checked for its
    // name. False, with the reason in `error`, when that fails.
    bool open(const THttpAddress& address, std::string& error);
    // Takes a connected plain socket, which the stream then owns.
    void adopt(int socket);

    // As CTcpClient::send and CTcpClient::recv. Over TLS a close without close_notify
    // counts as a failure, as it may be a cut.
    int send(const char* data, int length);
    int recv(char* buffer, int size);

  private:
    const TWaitBounds& bounds;
    const TlsClientContext* tls;
    int socket = -1;
    std::unique_ptr<TlsStream> session;
};
