#include "CHttpStream.h"

#include "tlsClientContext.h"

#include <cstring>

CHttpStream::CHttpStream(const TWaitBounds& bounds, const TlsClientContext* tls)
    : bounds(bounds), tls(tls) {}

CHttpStream::~CHttpStream() {
    if (session) session->closeNotify();
    session.reset();
    if (socket >= 0) CTcpClient::close(socket);
}

bool CHttpStream::open(const THttpAddress& address, std::string& error) {
    if (address.tls && !tls) {
        error = "no TLS here";
        return false;
    }
    socket = CTcpClient::connect(address.name.c_str(), address.port, bounds);
    if (socket < 0) {
        error = "no connection";
        return false;
    }
    if (!address.tls) return true;
    // The handshake's waits see the time bounds, not a stop of the worker: a stop
    // waits for it at most one wait time.
    std::string failure;
    session = tls->handshake(socket, address.name, bounds.nextWaitMs(), failure);
    if (!session) error = "TLS refused: " + failure;
    return session != nullptr;
}

void CHttpStream::adopt(int connected) {
    socket = connected;
}

int CHttpStream::send(const char* data, int length) {
    if (!session) return CTcpClient::send(socket, data, length, bounds);
    // A request is small: it goes out at once, so waiting inside is harmless here.
    long total = length > 0 ? length : (long)strlen(data);
    long sent = session->write(data, (size_t)total, bounds.nextWaitMs());
    return sent == total ? 0 : sent < 0 ? -2 : -1;
}

int CHttpStream::recv(char* buffer, int size) {
    if (!session) return CTcpClient::recv(socket, buffer, size, bounds);
    for (;;) {
        // Bytes OpenSSL already holds are not seen by a wait on the socket.
        if (!session->buffered() &&
            CTcpClient::select(socket, CTcpClient::waitReadable, bounds) != 0)
            return -1;
        int n = session->read(buffer, (size_t)size, 0);
        if (n == TlsStream::kTimedOut) continue; // a record still arriving
        if (n < 0) return -1;
        buffer[n] = 0;
        return n;
    }
}
