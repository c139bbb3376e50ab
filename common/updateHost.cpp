#include "updateHost.h"

#include <strings.h>

#include <cctype>

std::string updateHostBase(const std::string& configured) {
    std::string scheme = "http://";
    std::string host = configured;
    size_t separator = configured.find("://");
    if (separator != std::string::npos) {
        std::string given = configured.substr(0, separator);
        if (strcasecmp(given.c_str(), "https") == 0)
            scheme = "https://";
        else if (strcasecmp(given.c_str(), "http") != 0)
            return {};
        host = configured.substr(separator + 3);
    }
    if (host.empty()) return {};
    for (unsigned char c : host)
        if (!isalnum(c) && c != '.' && c != '-' && c != ':' && c != '[' && c != ']') return {};
    return scheme + host;
}
