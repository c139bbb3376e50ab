// The fetcher's response reader: the header ends at the first blank line within its
// 4095 bytes or the response is refused, and header and body together are exactly the
// bytes the server sent.
#include "CTcpClientHttp.h"
#include "FuzzOracle.h"
#include "SocketFeed.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string_view data((const char*)bytes, size);
    if (size > SocketFeed::kMaxBytes) return 0;
    SocketFeed feed(data);
    size_t blank = data.substr(0, CTcpClientHttp::kHeaderCapacity).find("\r\n\r\n");

    char buffer[CTcpClientHttp::kHeaderCapacity + 1];
    int length = CTcpClientHttp::kHeaderCapacity;
    char* body = CTcpClientHttp::recvHeader(feed.socket(), buffer, length, 1);
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
    int last = CTcpClientHttp::recvContent(feed.socket(), file, body, bodyLength, 1);
    fclose(file);
    std::string_view expected = data.substr(blank + 4);
    if (last != 0 || bodyLength != (long long)expected.size() ||
        std::string_view(stored, storedSize) != expected)
        fuzzFail("the stored body is not the bytes after the header", data);
    free(stored);
    return 0;
}
