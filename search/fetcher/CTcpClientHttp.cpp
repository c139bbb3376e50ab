#include "CTcpClientHttp.h"

#include "GzipFile.h"
#include "apiKeyMask.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>

namespace {

// Where the extension of a path begins: its last '.' within the file's own name, or
// the end when the name has none.
size_t extensionStart(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    return dot == std::string::npos || dot < nameStart ? path.size() : dot;
}

// Drops what was written to `file` so far.
void emptyFile(FILE* file) {
    fflush(file);
    if (ftruncate(fileno(file), 0) != 0) printf("fetch: cannot empty a discarded body\n");
    rewind(file);
}

// Why a wait failed: the deadline of the whole request, or the wait itself.
std::string failureReason(const TWaitBounds& bounds, const THttpLimits& limits) {
    if (bounds.deadlinePassed())
        return "the request deadline of " + std::to_string(limits.deadlineSeconds) + " s passed";
    return "the connection failed, or no data came within " + std::to_string(limits.waitSeconds) +
           " s";
}

// ": <reason>" when the request's deadline ended it, else nothing.
std::string deadlineNote(const TWaitBounds& bounds, const THttpLimits& limits) {
    return bounds.deadlinePassed() ? ": " + failureReason(bounds, limits) : "";
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
    request += "Accept-Charset: utf-8\r\n";
    request += "Connection: close\r\n";
    if (!cookie.empty()) request += "Cookie: " + cookie + "\r\n";
    if (!post.empty()) {
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(post.size()) + "\r\n\r\n" + post + "\r\n";
    }
    request += "\r\n";
}

char* CTcpClientHttp::recvHeader(CHttpStream& stream, char* buffer, int& length) {
    int capacity = length < kHeaderCapacity ? length : kHeaderCapacity;
    int total = 0;
    buffer[0] = 0;
    length = 0;
    while (total < capacity) {
        // Never more than the room left: how the header arrives in pieces must not
        // decide whether it fits.
        int count = stream.recv(buffer + total, capacity - total);
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

CTcpClientHttp::TBodyEnd CTcpClientHttp::recvContent(CHttpStream& stream, FILE* file,
                                                     const char* body, long long& length,
                                                     long long limit) {
    if (length > limit) return bodyTooLarge;
    bool writeFailed = length > 0 && fwrite(body, 1, (size_t)length, file) != (size_t)length;
    char buffer[kHeaderCapacity + 1];
    int count;
    while ((count = stream.recv(buffer, kHeaderCapacity)) > 0) {
        length += count;
        if (length > limit) return bodyTooLarge;
        if (!writeFailed && fwrite(buffer, 1, (size_t)count, file) != (size_t)count)
            writeFailed = true;
    }
    if (writeFailed) printf("fetch: cannot write the whole response body\n");
    return count == 0 ? bodyComplete : bodyCut;
}

void CTcpClientHttp::fetchInto(FILE* out, THttpAddress address, std::string post,
                               std::string cookie, const TlsClientContext* tls,
                               const THttpLimits& limits, THttpHeader& header) {
    TWaitBounds bounds(limits.waitSeconds, limits.deadlineSeconds);
    const std::string firstName = address.name;
    for (int hop = 0;; ++hop) {
        CHttpStream stream(bounds, tls);
        std::string error, request;
        if (!stream.open(address, error)) {
            printf("fetch: cannot connect to %s: %s%s\n", address.text().c_str(), error.c_str(),
                   deadlineNote(bounds, limits).c_str());
            return;
        }
        createRequest(address.hostLine, address.target, post, cookie, request);
        char buffer[kHeaderCapacity + 1];
        int length = kHeaderCapacity;
        if (stream.send(request.data(), (int)request.size()) != 0) {
            printf("fetch: cannot send the request to %s: %s\n", address.text().c_str(),
                   failureReason(bounds, limits).c_str());
            return;
        }
        char* body = recvHeader(stream, buffer, length);
        if (!body) {
            printf("fetch: no complete response header (at most %d bytes) from %s%s\n",
                   kHeaderCapacity, address.text().c_str(), deadlineNote(bounds, limits).c_str());
            return;
        }
        THttpHeader got = parseHttpHeader(buffer);
        if (!got.isRedirect()) {
            long long received = length;
            TBodyEnd end = recvContent(stream, out, body, received, limits.bodyLimit);
            if (end == bodyTooLarge) {
                printf("fetch: response from %s larger than %lld bytes, discarded\n",
                       address.text().c_str(), limits.bodyLimit);
                emptyFile(out);
                return;
            }
            if (end == bodyCut)
                printf("fetch: response from %s cut off after %lld bytes: %s\n",
                       address.text().c_str(), received, failureReason(bounds, limits).c_str());
            header = got;
            return;
        }

        THttpAddress next;
        if (!redirectTarget(address, got, hop, next)) return;
        if (!got.keepsMethod()) post.clear();
        // The site's cookie is for the site alone.
        if (strcasecmp(next.name.c_str(), firstName.c_str()) != 0) cookie.clear();
        address = next;
    }
}

bool CTcpClientHttp::redirectTarget(const THttpAddress& from, const THttpHeader& redirect,
                                    int hop, THttpAddress& next) {
    std::string error;
    if (hop == kMaxRedirects) {
        printf("fetch: more than %d redirects, stopped at %s\n", kMaxRedirects,
               from.text().c_str());
        return false;
    }
    if (!HttpAddress::fromLocation(from, redirect.location, next, error)) {
        printf("fetch: redirect from %s refused: %s\n", from.text().c_str(), error.c_str());
        return false;
    }
    if (from.tls && !next.tls) {
        printf("fetch: redirect from %s to plain %s refused\n", from.text().c_str(),
               next.text().c_str());
        return false;
    }
    printf("fetch: %d redirect %d of at most %d: %s -> %s\n", redirect.status, hop + 1,
           kMaxRedirects, from.text().c_str(), next.text().c_str());
    return true;
}

void CTcpClientHttp::inflateBody(std::string& stored, THttpHeader& header, long long limit) {
    const std::string inflated = stored + ".inflated";
    switch (inflateGzipFile(stored, inflated, limit)) {
    case TInflate::done:
        stored = inflated;
        return;
    case TInflate::tooLarge:
        printf("fetch: %s inflates to more than %lld bytes, discarded\n", stored.c_str(), limit);
        if (FILE* emptied = fopen(stored.c_str(), "wb")) fclose(emptied);
        header = THttpHeader();
        return;
    case TInflate::corrupt:
        printf("fetch: could not decompress %s, kept as received\n", stored.c_str());
        return;
    case TInflate::cannotWrite:
        printf("fetch: cannot write the decompressed %s, kept as received\n", stored.c_str());
        return;
    }
}

std::string CTcpClientHttp::finalName(const std::string& file, THttpContent content) {
    const char* extension = content == THttpContent::nzb         ? ".nzb"
                            : content == THttpContent::plainText ? ".txt"
                                                                 : ".htm";
    return file.substr(0, extensionStart(file)) + extension;
}

int CTcpClientHttp::httpRequest(std::string& file, std::string& charset, const std::string& host,
                                const std::string& url, const std::string& post,
                                const std::string& cookie, const TlsClientContext* tls,
                                const THttpLimits& limits) {
    FILE* out = fopen(file.c_str(), "wb");
    if (!out) {
        printf("fetch: cannot create %s\n", file.c_str());
        return -1;
    }
    THttpAddress address;
    THttpHeader header;
    std::string error;
    bool addressed = host.empty() ? HttpAddress::fromUrl(url, address, error)
                                  : HttpAddress::fromHost(host, url, address, error);
    // A line break in the cookie would let a caller's data add lines to the request.
    if (addressed && cookie.find_first_of("\r\n") != std::string::npos)
        error = "line break in the cookie";
    else if (addressed && cookie.size() > HttpAddress::kMaxTargetLength)
        error = "cookie longer than " + std::to_string(HttpAddress::kMaxTargetLength) +
                " characters";
    if (!error.empty())
        printf("fetch: request for '%s' '%s' refused: %s\n", host.c_str(), maskApiKeys(url).c_str(),
               error.c_str());
    else
        fetchInto(out, address, post, cookie, tls, limits, header);
    // Buffered bytes are written only now; a full disk shows here.
    if (fclose(out) != 0)
        printf("fetch: cannot write the whole response body to %s\n", file.c_str());

    std::string stored = file;
    if (header.gzip) inflateBody(stored, header, limits.bodyLimit);
    // The extension is set on the name the caller gave: a decompressed "a.b_1" from
    // "a.b_1.htm" becomes "a.b_1.nzb", not "a.nzb".
    std::string final = finalName(file, header.content);
    if (final != stored && rename(stored.c_str(), final.c_str()) != 0) {
        printf("fetch: cannot rename %s to %s\n", stored.c_str(), final.c_str());
        final = stored; // the observer is told where the body really is
    }
    if (stored != file && final != file) remove(file.c_str());
    file = final;
    charset = header.charset;
    return 0;
}
