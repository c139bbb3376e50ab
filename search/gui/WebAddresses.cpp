#include "WebAddresses.h"

#include "profile.h"

#include <cctype>
#include <cstdio>

namespace {

const char SECTION[] = "web";
const char UPDATE_PATH[] = "/update.php?file=Miravel&version=3002";

std::string address(const char* key, const char* file) {
    return profile::getString(SECTION, key, "", file);
}

// A host name, IPv4 or bracketed IPv6 address with an optional port: nothing that could
// change the path or the scheme of the address built from it.
bool plainHost(const std::string& host) {
    for (unsigned char c : host)
        if (!isalnum(c) && c != '.' && c != '-' && c != ':' && c != '[' && c != ']') return false;
    return !host.empty();
}

} // namespace

WebAddresses WebAddresses::load(const char* file) {
    WebAddresses web;
    web.homepage = address("homepage", file);
    web.contact = address("contact", file);
    web.howto = address("howto", file);
    web.history = address("history", file);
    web.updatehost = address("updatehost", file);
    if (!web.updatehost.empty() && !plainHost(web.updatehost)) {
        printf("web: updatehost \"%s\" in %s is not a host name, no update check\n",
               web.updatehost.c_str(), file);
        web.updatehost.clear();
    }
    return web;
}

std::string WebAddresses::updateUrl() const {
    if (updatehost.empty()) return {};
    return "http://" + updatehost + UPDATE_PATH;
}
