// The NNTP reader against any server bytes: the status line's code is read only from a
// well-formed line, and a fetched article is exactly the bytes up to the first end
// marker with one dot taken from every stuffed line (checked against a plain
// one-dot-at-a-time reading). A server sends nothing after an article until the next
// command, so the bytes fed end at the first end marker.
#include "FuzzOracle.h"
#include "SocketFeed.h"
#include "cTCPclientNNTP.h"

#include <cctype>
#include <cstdint>

namespace {

const std::string_view kEnd = "\r\n.\r\n";

// Dot-unstuffing as the dialogue defines it, one match at a time.
std::string unstuffed(std::string text) {
    for (size_t at = text.find("\r\n..", 3); at != std::string::npos;
         at = text.find("\r\n..", at + 3))
        text.erase(at + 2, 1);
    return text;
}

// The code of a well-formed status line (three digits, the first 1 to 5, then the end
// or a blank), else -1.
int expectedCode(std::string_view line) {
    if (line.size() < 3 || line[0] < '1' || line[0] > '5' || !isdigit((unsigned char)line[1]) ||
        !isdigit((unsigned char)line[2]) ||
        (line.size() > 3 && line[3] != ' ' && line[3] != '\r' && line[3] != '\0'))
        return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::string_view data((const char*)bytes, size);
    if (size > SocketFeed::kMaxBytes) return 0;
    size_t lineEnd = data.find('\n');
    if (lineEnd != std::string_view::npos) {
        size_t end = data.find(kEnd, lineEnd + 1);
        if (end != std::string_view::npos) data = data.substr(0, end + kEnd.size());
    }
    SocketFeed feed(data);
    cTCPclientNNTP nntp;
    nntp.set_timeout(1);
    nntp.connect((unsigned)feed.release());
    std::string article;
    int code = nntp.article("fuzz@example", &article);

    bool statusLine = lineEnd != std::string_view::npos && lineEnd < cTCPclientNNTP::kResponseSize - 1;
    int status = statusLine ? expectedCode(data.substr(0, lineEnd)) : -1;
    if (status < 0) {
        if (code != -1) fuzzFail("a code from a broken status line: " + std::to_string(code), data);
        return 0;
    }
    if (status < 200 || status >= 400) {
        if (code != status || !article.empty()) fuzzFail("a refusal read wrong", data);
        return 0;
    }
    std::string_view rest = data.substr(lineEnd + 1);
    size_t end = rest.find(kEnd);
    if (end == std::string_view::npos) {
        if (code != -1) fuzzFail("an article without its end marker was taken", data);
        return 0;
    }
    if (code != 200) fuzzFail("a whole article was not taken: " + std::to_string(code), data);
    if (article != unstuffed(std::string(rest.substr(0, end + kEnd.size()))))
        fuzzFail("the article is not the unstuffed bytes up to the end marker", data);
    return 0;
}
