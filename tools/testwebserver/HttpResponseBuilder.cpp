#include "HttpResponseBuilder.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

bool endsWith(const std::string& text, const char* suffix) {
    std::string s(suffix);
    return text.size() >= s.size() && text.compare(text.size() - s.size(), s.size(), s) == 0;
}

} // namespace

HttpResponseBuilder::HttpResponseBuilder(std::string root) : root(std::move(root)) {}

std::string HttpResponseBuilder::contentTypeFor(const std::string& file) {
    if (endsWith(file, ".htm") || endsWith(file, ".html")) return "text/html";
    if (endsWith(file, ".txt")) return "text/plain";
    if (endsWith(file, ".nzb")) return "application/x-nzb";
    if (endsWith(file, ".xml")) return "text/xml";
    return "application/octet-stream";
}

std::string HttpResponseBuilder::gzipCompress(const std::string& data) {
    z_stream zs{};
    // 16 added to the window bits asks zlib for the gzip wrapper.
    if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&zs, data.size()) + 32, '\0');
    zs.next_in = (Bytef*)data.data();
    zs.avail_in = (uInt)data.size();
    zs.next_out = (Bytef*)out.data();
    zs.avail_out = (uInt)out.size();
    int rc = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return rc == Z_STREAM_END ? out : std::string();
}

bool HttpResponseBuilder::readFixture(const std::string& file, std::string& data) const {
    data.clear();
    if (file.empty()) return true;
    std::ifstream in(root + "/" + file, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    data = text.str();
    return true;
}

std::string HttpResponseBuilder::notFound() {
    return "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 9\r\n"
           "Connection: close\r\n\r\nnot found";
}

std::string HttpResponseBuilder::build(const Route& route) const {
    std::string body;
    if (!readFixture(route.file, body)) {
        fprintf(stderr, "testwebserver: cannot read fixture %s/%s\n", root.c_str(),
                route.file.c_str());
        return notFound();
    }
    if (route.raw) return body;
    if (route.gzip) body = gzipCompress(body);

    // A redirect left at the default status 200 answers 302.
    int status = !route.redirect.empty() && route.status == 200 ? 302 : route.status;
    std::string header = "HTTP/1.0 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    std::string type = route.contentType.empty() ? contentTypeFor(route.file) : route.contentType;
    header += "Content-Type: " + type + "\r\n";
    if (route.gzip) header += "Content-Encoding: gzip\r\n";
    if (!route.attachmentName.empty())
        header += "Content-Disposition: attachment; filename=\"" + route.attachmentName + "\"\r\n";
    if (!route.redirect.empty()) header += "Location: " + route.redirect + "\r\n";
    for (const std::string& line : route.extraHeaders)
        header += line + "\r\n";
    header += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    header += "Connection: close\r\n";

    if (route.headerSize > 0) {
        const std::string padName = "X-Padding: ";
        long padLength = (long)route.headerSize - (long)header.size() - (long)padName.size() - 4;
        if (padLength >= 0)
            header += padName + std::string((size_t)padLength, 'x') + "\r\n";
        else
            fprintf(stderr, "testwebserver: header of %s is already longer than %d bytes\n",
                    route.file.c_str(), route.headerSize);
    }
    return header + "\r\n" + body;
}

std::optional<Route> HttpResponseBuilder::staticRoute(const std::string& target) const {
    std::string path = target.substr(0, target.find('?'));
    if (path.empty() || path[0] != '/') return std::nullopt;
    // A path that climbs out of the root is never served.
    if (path.find("/../") != std::string::npos || endsWith(path, "/..")) return std::nullopt;
    std::string file = path.substr(1);
    struct stat info;
    if (file.empty() || stat((root + "/" + file).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    Route route;
    route.method = "*";
    route.target = path;
    route.file = file;
    return route;
}
