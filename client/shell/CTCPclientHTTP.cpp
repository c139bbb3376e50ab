#include "CTCPclientHTTP.h"

#include <cstdio>
#include <cstring>

namespace {

// A chunked body ends with the last-chunk line; a plain one ends with the connection.
const char kChunkedEnd[] = "\r\n0\r\n";
const char kBlankLine[] = "\r\n\r\n";
// A status line is longer than this; a blank line this early is no header end.
const size_t kShortestHeader = 5;

bool endsWithLineEnd(const std::string& text) {
    return text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

} // namespace

std::string CTCPclientHTTP::request(const char* path, const char* extra, const char* post) const {
    std::string text = post ? "POST" : "GET";
    text += " /";
    text += path ? path : "";
    text += " HTTP/1.0\r\nHost: ";
    text += host();
    text += "\r\n";
    // Extra header lines must end in a line end, or the form's header lines and the
    // request's blank line would run into them.
    if (extra && *extra) {
        text += extra;
        if (!endsWithLineEnd(text)) text += "\r\n";
    }
    if (post) {
        char lengthLine[64];
        snprintf(lengthLine, sizeof lengthLine, "Content-Length: %zu\r\n\r\n", strlen(post));
        text += "Content-Type: application/x-www-form-urlencoded\r\n";
        text += lengthLine;
        text += post;
        text += "\r\n";
    }
    text += "\r\n";
    return text;
}

void CTCPclientHTTP::split(const std::string& reply) {
    size_t blank = reply.find(kBlankLine);
    if (blank == std::string::npos || blank < kShortestHeader) return;
    header = reply.substr(0, blank);
    // The body is text: anything after a zero byte is not shown or scanned.
    content = reply.c_str() + blank + strlen(kBlankLine);
}

const char* CTCPclientHTTP::GetUrl(const char* path, const char* extra, const char* post) {
    header.clear();
    content.clear();
    const std::string text = request(path, extra, post);
    fputs(text.c_str(), stdout);

    std::string reply;
    if (connect() == 0 && send(text.data(), (int)text.size()) == 0) {
        // Past the cap the receive fails and closes; what came so far is kept.
        recvE(&reply, kChunkedEnd, nullptr, nullptr, kMaxReply);
    }
    close();
    split(reply);

    if (!header.empty()) printf("\n - header  - \n%s\n", header.c_str());
    if (!content.empty()) printf("\n - content - \n%s\n", content.c_str());
    return Response();
}

const char* CTCPclientHTTP::Response() const {
    return content.empty() ? nullptr : content.c_str();
}
