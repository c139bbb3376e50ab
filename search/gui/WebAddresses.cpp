#include "WebAddresses.h"

#include "profile.h"
#include "updateHost.h"

#include <cstdio>

namespace {

const char SECTION[] = "web";
const char UPDATE_PATH[] = "/update.php?file=Miravel&version=3002";

std::string address(const char* key, const char* file) {
    return profile::getString(SECTION, key, "", file);
}

} // namespace

WebAddresses WebAddresses::load(const char* file) {
    WebAddresses web;
    web.homepage = address("homepage", file);
    web.contact = address("contact", file);
    web.howto = address("howto", file);
    web.history = address("history", file);
    web.updatehost = address("updatehost", file);
    if (!web.updatehost.empty() && updateHostBase(web.updatehost).empty()) {
        printf("web: updatehost \"%s\" in %s is not a host name, no update check\n",
               web.updatehost.c_str(), file);
        web.updatehost.clear();
    }
    return web;
}

std::string WebAddresses::updateUrl() const {
    if (updatehost.empty()) return {};
    return updateHostBase(updatehost) + UPDATE_PATH;
}
