#include "CTcpClientHttp.h"

#include "CRunwright.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace {

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

// Where the extension of a path begins: its last '.' within the file's own name, or
// the end when the name has none.
size_t extensionStart(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// "name" or "name:port"; false for a port that is no number in 1..65535.
bool splitHostPort(const std::string& host, std::string& name, int& port) {
    size_t colon = host.rfind(':');
    name = host.substr(0, colon);
    port = CTcpClientHttp::kDefaultPort;
    if (colon == std::string::npos) return true;
    std::string digits = host.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = atoi(digits.c_str());
    return port > 0 && port < 65536;
}

} // namespace

void CTcpClientHttp::createRequest(const std::string& host, const std::string& target,
                                   const std::string& post, const std::string& cookie,
                                   std::string& request) {
    request = post.empty() ? "GET " : "POST ";
    request += target + " HTTP/1.0\r\n";
    request += "Host: " + host + "\r\n";
    request += "User-Agent: Miravel/3.00\r\n";
    request += "Accept-Language: en-us,en;q=0.5\r\n";
    request += "Accept-Encoding: gzip,deflate\r\n";
    request += "Accept-Charset: ISO-8859-1,utf-8;q=0.7,*;q=0.7\r\n";
    request += "Connection: close\r\n";
    if (!cookie.empty()) request += "Cookie: " + cookie + "\r\n";
    if (!post.empty()) {
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(post.size()) + "\r\n\r\n" + post + "\r\n";
    }
    request += "\r\n";
}

char* CTcpClientHttp::recvHeader(int socket, char* buffer, int& length, int waitSeconds) {
    int capacity = length < kHeaderCapacity ? length : kHeaderCapacity;
    int total = 0;
    buffer[0] = 0;
    length = 0;
    while (total < capacity) {
        // Never more than the room left: how the header arrives in pieces must not
        // decide whether it fits.
        int count = CTcpClient::recv(socket, buffer + total, capacity - total, waitSeconds);
        if (count <= 0) return nullptr;
        total += count;
        char* blank = (char*)memmem(buffer, (size_t)total, "\r\n\r\n", 4);
        if (blank) {
            blank[2] = 0; // the header keeps its last line's CRLF
            length = total - (int)(blank - buffer) - 4;
            return blank + 4;
        }
    }
    return nullptr;
}

int CTcpClientHttp::recvContent(int socket, FILE* file, const char* body, long long& length,
                                int waitSeconds) {
    bool writeFailed = length > 0 && fwrite(body, 1, (size_t)length, file) != (size_t)length;
    char buffer[kHeaderCapacity + 1];
    int count;
    while ((count = CTcpClient::recv(socket, buffer, kHeaderCapacity, waitSeconds)) > 0) {
        if (!writeFailed && fwrite(buffer, 1, (size_t)count, file) != (size_t)count)
            writeFailed = true;
        length += count;
    }
    if (writeFailed) printf("fetch: cannot write the whole response body\n");
    return count;
}

bool CTcpClientHttp::fetchInto(FILE* out, const std::string& host, const std::string& target,
                               const std::string& post, const std::string& cookie, int waitSeconds,
                               bool& gzip, TContent& content) {
    std::string name;
    int port;
    if (!splitHostPort(host, name, port) || name.empty() || name.size() > kMaxHostLength) {
        printf("fetch: bad host '%s'\n", host.c_str());
        return false;
    }
    int sock = CTcpClient::connect(name.c_str(), port, waitSeconds);
    if (sock < 0) {
        printf("fetch: cannot connect to %s\n", host.c_str());
        return false;
    }
    std::string request;
    createRequest(host, target, post, cookie, request);
    char buffer[kHeaderCapacity + 1];
    int length = kHeaderCapacity;
    char* body = nullptr;
    if (CTcpClient::send(sock, request.data(), (int)request.size(), waitSeconds) != 0)
        printf("fetch: cannot send the request to %s\n", host.c_str());
    else if (!(body = recvHeader(sock, buffer, length, waitSeconds)))
        printf("fetch: no complete response header (at most %d bytes) from %s\n", kHeaderCapacity,
               host.c_str());
    if (body) {
        gzip = strstr(buffer, "Content-Encoding: gzip\r\n") != nullptr;
        if (strstr(buffer, "Content-Type: application/x-nzb\r\n") ||
            strstr(buffer, "Content-Type: application/x-nzb;\r\n") ||
            strstr(buffer, "Content-Type: application/force-download\r\n"))
            content = contentNzb;
        else if (strstr(buffer, "Content-Type: text/plain\r\n"))
            content = contentPlainText;
        long long bodyLength = length;
        if (recvContent(sock, out, body, bodyLength, waitSeconds) != 0)
            printf("fetch: response from %s cut off after %lld bytes\n", host.c_str(), bodyLength);
    }
    CTcpClient::close(sock);
    return body != nullptr;
}

std::string CTcpClientHttp::finalName(const std::string& file, TContent content) {
    const char* extension = content == contentNzb         ? ".nzb"
                            : content == contentPlainText ? ".txt"
                                                          : ".htm";
    return file.substr(0, extensionStart(file)) + extension;
}

int CTcpClientHttp::httpRequest(std::string& file, const std::string& host, const std::string& url,
                                const std::string& post, const std::string& cookie,
                                int waitSeconds) {
    std::string hostName = host, target = url;
    if (host.empty()) {
        size_t scheme = url.find("://");
        size_t slash = scheme == std::string::npos ? scheme : url.find('/', scheme + 3);
        hostName = scheme == std::string::npos ? "" : url.substr(scheme + 3, slash - scheme - 3);
        target = slash == std::string::npos ? "" : url.substr(slash);
    }

    FILE* out = fopen(file.c_str(), "wb");
    if (!out) {
        printf("fetch: cannot create %s\n", file.c_str());
        return -1;
    }
    bool gzip = false;
    TContent content = contentOther;
    // A line break in any text would let a caller's data add lines to the request.
    if (hostName.empty() || target.empty())
        printf("fetch: no host and path in '%s'\n", url.c_str());
    else if (target.size() > kMaxTargetLength || cookie.size() > kMaxTargetLength)
        printf("fetch: request path or cookie longer than %zu characters\n", kMaxTargetLength);
    else if (hasLineBreak(hostName) || hasLineBreak(target) || hasLineBreak(cookie))
        printf("fetch: line break in the request for %s refused\n", hostName.c_str());
    else
        fetchInto(out, hostName, target, post, cookie, waitSeconds, gzip, content);
    // Buffered bytes are written only now; a full disk shows here.
    if (fclose(out) != 0)
        printf("fetch: cannot write the whole response body to %s\n", file.c_str());

    std::string stored = file;
    if (gzip) {
        CRunwright::gzip(stored.c_str());
        std::string decompressed = stored.substr(0, extensionStart(stored));
        // When gzip could not do its work the body stays as it came, still compressed.
        if (decompressed != stored && fileExists(decompressed) && !fileExists(stored))
            stored = decompressed;
        else
            printf("fetch: could not decompress %s, kept as received\n", stored.c_str());
    }
    // The extension is set on the name the caller gave: a decompressed "a.b_1" from
    // "a.b_1.htm" becomes "a.b_1.nzb", not "a.nzb".
    std::string final = finalName(file, content);
    if (final != stored && rename(stored.c_str(), final.c_str()) != 0) {
        printf("fetch: cannot rename %s to %s\n", stored.c_str(), final.c_str());
        final = stored; // the observer is told where the body really is
    }
    file = final;
    return 0;
}
