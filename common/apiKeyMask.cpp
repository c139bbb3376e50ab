#include "apiKeyMask.h"

#include <cstring>
#include <strings.h>

namespace {

bool isKeyName(std::string_view name) {
    for (const char* key : {"apikey", "api_key", "r"})
        if (name.size() == strlen(key) && strncasecmp(name.data(), key, name.size()) == 0)
            return true;
    return false;
}

// Where a parameter value ends in a URL or in the log line around it.
bool endsValue(char c) {
    return c == '&' || c == '#' || c == '"' || c == '\'' || (unsigned char)c <= ' ';
}

} // namespace

std::string maskApiKeys(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t at = 0;
    while (at < text.size()) {
        const char c = text[at++];
        out += c;
        if (c != '?' && c != '&') continue;
        const size_t equals = text.find('=', at);
        if (equals == std::string_view::npos) continue;
        const std::string_view name = text.substr(at, equals - at);
        if (!isKeyName(name)) continue;
        out.append(name).append("=***");
        at = equals + 1;
        while (at < text.size() && !endsValue(text[at]))
            ++at;
    }
    return out;
}
