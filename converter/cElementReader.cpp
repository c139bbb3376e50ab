#include "cElementReader.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// Enough of an element that cannot be used to name it in the log.
constexpr std::size_t kShownStart = 200;

} // namespace

bool cElementReader::fill() {
    if (ended) return false;
    long count = input.read(chunk, kChunk);
    if (count <= 0) {
        ended = true;
        readFailed = count < 0;
        return false;
    }
    position = 0;
    filled = static_cast<std::size_t>(count);
    return true;
}

cElementReader::eElement cElementReader::next(char* element, std::size_t size) {
    for (;;) { // to the element's "<"; text outside elements is skipped
        if (position == filled && !fill()) return elementEnd;
        const void* open = std::memchr(chunk + position, '<', filled - position);
        if (open) {
            position = static_cast<const char*>(open) - chunk;
            break;
        }
        position = filled;
    }
    std::size_t length = 0;
    bool cut = false;
    raw[length++] = chunk[position++];
    while (position < filled || fill()) {
        const char* begin = chunk + position;
        const void* open = std::memchr(begin, '<', filled - position);
        std::size_t take = (open ? static_cast<const char*>(open) : chunk + filled) - begin;
        std::size_t copy = std::min(take, sizeof raw - 1 - length);
        std::memcpy(raw + length, begin, copy);
        length += copy;
        cut = cut || copy < take; // the rest is consumed, never read as elements of its own
        position += take;
        if (open) break;
    }
    if (readFailed) return elementEnd;
    const std::string_view text(raw, length);
    const bool nul = !cut && std::memchr(raw, '\0', length) != nullptr;
    if (!cut && !nul && toUtf8(text, element, size, charset) < size) {
        if (element[1] == '?' && std::strncmp(element, "<?xml", 5) == 0) takeDeclaration(element);
        return elementOk;
    }
    toUtf8(text.substr(0, std::min(length, std::min(kShownStart, size / 4))), element, size,
           charset);
    return nul ? elementNul : elementTooLong;
}

// The XML declaration names the encoding of everything after it.
void cElementReader::takeDeclaration(const char* element) {
    const char* name = std::strstr(element, "encoding");
    if (!name) return;
    const char* value = name + std::strspn(name + 8, " \t\r\n") + 8;
    if (*value != '=') return;
    value += 1 + std::strspn(value + 1, " \t\r\n");
    if (*value != '"' && *value != '\'') return;
    const char* close = std::strchr(value + 1, *value);
    if (close) charset = charsetNamed(std::string_view(value + 1, close - value - 1));
}
