#include "cNzbPassword.h"

#include "cNzbParser.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

constexpr const char* kBlanks = " \t\r\n";
constexpr char kCdataStart[] = "<![CDATA[";
constexpr std::size_t kCdataStartLength = sizeof kCdataStart - 1;

// The value of attribute `name` in the tag between `begin` and `end` (either quote), or
// "" when the tag has none.
std::string attribute(const char* begin, const char* end, const char* name) {
    const std::size_t nameLength = std::strlen(name);
    for (const char* p = begin; p + nameLength < end; ++p) {
        if (!std::strchr(kBlanks, *p) || strncasecmp(p + 1, name, nameLength) != 0) continue;
        const char* cursor = p + 1 + nameLength;
        cursor += std::strspn(cursor, kBlanks);
        if (*cursor != '=') continue;
        cursor += 1 + std::strspn(cursor + 1, kBlanks);
        if (*cursor != '"' && *cursor != '\'') continue;
        const char* close = std::strchr(cursor + 1, *cursor);
        if (!close || close > end) return "";
        return std::string(cursor + 1, close);
    }
    return "";
}

// The end of the meta tag when `element` opens a password meta with text to come, else
// nullptr.
char* passwordMetaEnd(char* element) {
    if (strncasecmp(element, "<meta", 5) != 0 || !std::strchr(" \t\r\n/>", element[5]))
        return nullptr;
    char* close = std::strchr(element, '>');
    if (!close || close[-1] == '/') return nullptr;
    return strcasecmp(attribute(element + 5, close, "type").c_str(), "password") == 0 ? close
                                                                                      : nullptr;
}

} // namespace

bool cPasswordMeta::take(char* element) {
    switch (state) {
    case eState::outside:
        if (!found.empty()) return false; // the first password counts
        if (char* close = passwordMetaEnd(element)) {
            value.clear();
            tooLong = false;
            state = eState::text;
            appendText(close + 1);
            return true;
        }
        return false;
    case eState::cdata: // a "<" inside CDATA is text: the reader cut there
        appendCdata(element);
        return true;
    case eState::text:
        break;
    }
    if (std::strncmp(element, kCdataStart, kCdataStartLength) == 0) {
        state = eState::cdata;
        appendCdata(element + kCdataStartLength);
        return true;
    }
    if (strncasecmp(element, "</meta", 6) == 0) {
        finish();
        return true;
    }
    abandon("not closed");
    return false;
}

void cPasswordMeta::skipped() {
    if (state != eState::outside) abandon("lost a skipped element");
}

void cPasswordMeta::appendText(char* text) {
    // The value is quoted by doubling, so "&apos;" can stand for itself.
    cNzbParser::html2text(text, '\'');
    append(text, std::strlen(text));
}

void cPasswordMeta::appendCdata(char* text) {
    char* end = std::strstr(text, "]]>");
    if (!end) {
        append(text, std::strlen(text));
        return;
    }
    append(text, static_cast<std::size_t>(end - text));
    state = eState::text;
    appendText(end + 3);
}

void cPasswordMeta::append(const char* text, std::size_t length) {
    if (tooLong || value.size() + length > kMaxRead) {
        tooLong = true;
        return;
    }
    value.append(text, length);
}

void cPasswordMeta::finish() {
    state = eState::outside;
    if (tooLong) {
        std::printf("nzb password meta longer than %zu characters ignored\n", kMaxRead);
        return;
    }
    const std::size_t first = value.find_first_not_of(kBlanks);
    if (first != std::string::npos)
        found = value.substr(first, value.find_last_not_of(kBlanks) + 1 - first);
}

void cPasswordMeta::abandon(const char* why) {
    state = eState::outside;
    std::printf("nzb password meta %s, ignored\n", why);
}

const char* passwordFault(const std::string& password) {
    static_assert(kMaxPassword == 255, "the text below names the limit");
    if (password.size() > kMaxPassword) return "longer than 255 bytes";
    for (unsigned char c : password)
        if (c < 0x20 || c == 0x7F) return "holding a control character";
    return nullptr;
}

std::string takeNamePassword(std::string& name) {
    std::size_t end = name.size();
    for (const char* suffix : {".nzb.gz", ".nzb"}) {
        const std::size_t length = std::strlen(suffix);
        if (end >= length && strcasecmp(name.c_str() + end - length, suffix) == 0) {
            end -= length;
            break;
        }
    }
    // "{{", at least one character, "}}"
    if (end < 5 || name.compare(end - 2, 2, "}}") != 0) return "";
    const std::size_t open = name.rfind("{{", end - 4);
    if (open == std::string::npos || open + 4 == end) return "";
    std::string password = name.substr(open + 2, end - 4 - open);
    name.erase(open, end - open);
    return password;
}
