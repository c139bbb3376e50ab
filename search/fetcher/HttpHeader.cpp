#include "HttpHeader.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

namespace {

bool contains(const std::string& text, const char* line) {
    return text.find(line) != std::string::npos;
}

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

// The value of the first line named `name` (with its colon), any case.
std::string headerValue(const std::string& text, const char* name, size_t nameLength) {
    for (size_t line = text.find("\r\n"); line != std::string::npos;
         line = text.find("\r\n", line)) {
        line += 2;
        if (strncasecmp(text.c_str() + line, name, nameLength) == 0) {
            size_t end = text.find("\r\n", line);
            return trimmed(text.substr(line + nameLength, end - line - nameLength));
        }
    }
    return {};
}

// The charset parameter of a Content-Type value ("text/html; charset=\"UTF-8\""), quotes
// dropped.
std::string charsetOf(const std::string& contentType) {
    static const char kName[] = "charset=";
    for (size_t semicolon = contentType.find(';'); semicolon != std::string::npos;
         semicolon = contentType.find(';', semicolon + 1)) {
        size_t name = contentType.find_first_not_of(" \t", semicolon + 1);
        if (name == std::string::npos ||
            strncasecmp(contentType.c_str() + name, kName, sizeof kName - 1) != 0)
            continue;
        size_t value = name + sizeof kName - 1;
        if (value < contentType.size() && contentType[value] == '"') ++value;
        return contentType.substr(value, contentType.find_first_of("\"; \t", value) - value);
    }
    return {};
}

} // namespace

bool THttpHeader::isRedirect() const {
    bool redirectStatus =
        status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    return redirectStatus && !location.empty();
}

bool THttpHeader::keepsMethod() const {
    return status == 307 || status == 308;
}

THttpHeader parseHttpHeader(const std::string& text) {
    THttpHeader header;
    // Exactly three digits, 100 to 999: "2x", "-5" or "020" is no status, however sscanf
    // reads it.
    int status = 0, start = -1, end = -1;
    if (sscanf(text.c_str(), "HTTP/%*d.%*d %n%3d%n", &start, &status, &end) == 1 &&
        end - start == 3 && isdigit((unsigned char)text[start]) && status >= 100)
        header.status = status;
    header.gzip = contains(text, "Content-Encoding: gzip\r\n");
    if (contains(text, "Content-Type: application/x-nzb\r\n") ||
        contains(text, "Content-Type: application/x-nzb;\r\n") ||
        contains(text, "Content-Type: application/force-download\r\n"))
        header.content = THttpContent::nzb;
    else if (contains(text, "Content-Type: text/plain\r\n"))
        header.content = THttpContent::plainText;
    const char type[] = "Content-Type:";
    header.charset = charsetOf(headerValue(text, type, sizeof type - 1));
    const char name[] = "Location:";
    header.location = headerValue(text, name, sizeof name - 1);
    return header;
}
