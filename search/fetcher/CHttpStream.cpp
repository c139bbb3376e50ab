#include "CHttpStream.h"

CHttpStream::~CHttpStream() {
    if (socket >= 0) CTcpClient::close(socket);
}

bool CHttpStream::open(const THttpAddress& address, std::string& error) {
    if (address.tls) {
        error = "no TLS yet, cannot connect";
        return false;
    }
    socket = CTcpClient::connect(address.name.c_str(), address.port, bounds);
    if (socket < 0) {
        error = "cannot connect";
        return false;
    }
    return true;
}

void CHttpStream::adopt(int connected) {
    socket = connected;
}

int CHttpStream::send(const char* data, int length) {
    return CTcpClient::send(socket, data, length, bounds);
}

int CHttpStream::recv(char* buffer, int size) {
    return CTcpClient::recv(socket, buffer, size, bounds);
}
