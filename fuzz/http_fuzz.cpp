// The fetcher's response reader and header parser: the header ends at the first blank
// line within its 4095 bytes or the response is refused; header and body together are
// exactly the bytes the server sent; the parsed header holds a status of three digits or
// none, a Location within its one header line (a stray CR or LF inside it is refused
// later, where a redirect is followed), and a redirect only with somewhere to go.
#include "CHttpStream.h"
#include "CTcpClientHttp.h"
#include "FuzzOracle.h"
#include "HttpHeader.h"
#include "SocketFeed.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string_view data((const char*)bytes, size);
    if (size > SocketFeed::kMaxBytes) return 0;
    SocketFeed feed(data);
    TWaitBounds bounds(1);
    CHttpStream stream(bounds, nullptr);
    stream.adopt(feed.release());
    size_t blank = data.substr(0, CTcpClientHttp::kHeaderCapacity).find("\r\n\r\n");

    char buffer[CTcpClientHttp::kHeaderCapacity + 1];
    int length = CTcpClientHttp::kHeaderCapacity;
    char* body = CTcpClientHttp::recvHeader(stream, buffer, length);
    if (!body) {
        if (blank != std::string_view::npos) fuzzFail("a complete header was refused", data);
        return 0;
    }
    if (blank == std::string_view::npos) fuzzFail("a header without its blank line", data);
    if (body != buffer + blank + 4 || buffer[blank + 2] != 0 ||
        memcmp(buffer, data.data(), blank + 2) != 0 || length < 0 ||
        blank + 4 + (size_t)length > (size_t)CTcpClientHttp::kHeaderCapacity)
        fuzzFail("the header is not the bytes before the blank line", data);

    char* stored = nullptr;
    size_t storedSize = 0;
    FILE* file = open_memstream(&stored, &storedSize);
    long long bodyLength = length;
    CTcpClientHttp::TBodyEnd end =
        CTcpClientHttp::recvContent(stream, file, body, bodyLength, (long long)size + 1);
    fclose(file);
    std::string_view expected = data.substr(blank + 4);
    if (end != CTcpClientHttp::bodyComplete || bodyLength != (long long)expected.size() ||
        std::string_view(stored, storedSize) != expected)
        fuzzFail("the stored body is not the bytes after the header", data);
    free(stored);

    THttpHeader header = parseHttpHeader(std::string(buffer));
    if ((header.status != 0 && (header.status < 100 || header.status > 999)) ||
        header.location.find("\r\n") != std::string::npos ||
        (header.isRedirect() && header.location.empty()))
        fuzzFail("the parsed header holds what the header does not say", data);
    return 0;
}
