#include "HttpAddress.h"

#include "apiKeyMask.h"

#include <strings.h>

#include <cstdlib>

namespace {

const int kHttpPort = 80;
const int kHttpsPort = 443;

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Takes a leading "http://" or "https://" (any case) off `rest`. False for another
// scheme; no scheme at all is plain HTTP.
bool takeScheme(std::string& rest, bool& tls, std::string& error) {
    tls = false;
    size_t colon = rest.find("://");
    if (colon == std::string::npos) return true;
    std::string scheme = rest.substr(0, colon);
    if (strcasecmp(scheme.c_str(), "https") == 0)
        tls = true;
    else if (strcasecmp(scheme.c_str(), "http") != 0) {
        error = "unknown scheme '" + scheme + "'";
        return false;
    }
    rest.erase(0, colon + 3);
    return true;
}

// "name" or "name:port" into the address; the default port follows the scheme.
bool takeHostPort(const std::string& host, THttpAddress& address, std::string& error) {
    size_t colon = host.rfind(':');
    address.name = host.substr(0, colon);
    address.hostLine = host;
    address.port = address.tls ? kHttpsPort : kHttpPort;
    if (address.name.empty() || host.size() > HttpAddress::kMaxHostLength ||
        address.name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789.-_[]") != std::string::npos) {
        error = "no usable host name in '" + host + "'";
        return false;
    }
    if (colon == std::string::npos) return true;
    std::string digits = host.substr(colon + 1);
    int port = digits.empty() || digits.size() > 5 ||
                       digits.find_first_not_of("0123456789") != std::string::npos
                   ? 0
                   : atoi(digits.c_str());
    if (port < 1 || port > 65535) {
        error = "bad port in '" + host + "'";
        return false;
    }
    address.port = port;
    return true;
}

bool setTarget(const std::string& target, THttpAddress& address, std::string& error) {
    if (target.empty()) {
        error = "no path";
        return false;
    }
    if (target.size() > HttpAddress::kMaxTargetLength) {
        error = "path longer than " + std::to_string(HttpAddress::kMaxTargetLength) + " characters";
        return false;
    }
    address.target = target;
    return true;
}

// "scheme://host[:port]/path"; an empty path is "/" only when `pathOptional`.
bool parseAbsolute(std::string url, bool pathOptional, THttpAddress& address,
                   std::string& error) {
    if (url.find("://") == std::string::npos) {
        error = "no scheme and host in '" + url + "'";
        return false;
    }
    if (!takeScheme(url, address.tls, error)) return false;
    size_t slash = url.find('/');
    std::string target = slash == std::string::npos ? "" : url.substr(slash);
    if (target.empty() && pathOptional) target = "/";
    return takeHostPort(url.substr(0, slash), address, error) &&
           setTarget(target, address, error);
}

} // namespace

std::string THttpAddress::text() const {
    return maskApiKeys(std::string(tls ? "https://" : "http://") + name + ":" +
                       std::to_string(port) + target);
}

bool HttpAddress::fromHost(const std::string& host, const std::string& target,
                           THttpAddress& address, std::string& error) {
    address = THttpAddress();
    if (hasLineBreak(host) || hasLineBreak(target)) {
        error = "line break in the host or path";
        return false;
    }
    std::string rest = host;
    return takeScheme(rest, address.tls, error) && takeHostPort(rest, address, error) &&
           setTarget(target, address, error);
}

bool HttpAddress::fromUrl(const std::string& url, THttpAddress& address, std::string& error) {
    address = THttpAddress();
    if (hasLineBreak(url)) {
        error = "line break in the address";
        return false;
    }
    return parseAbsolute(url, false, address, error);
}

bool HttpAddress::fromLocation(const THttpAddress& from, const std::string& location,
                               THttpAddress& address, std::string& error) {
    std::string where = location.substr(0, location.find('#'));
    if (where.empty() || where.find_first_of(" \t\r\n") != std::string::npos) {
        error = "unusable redirect location '" + location + "'";
        return false;
    }
    address = from;
    if (where.find("://") != std::string::npos) return parseAbsolute(where, true, address, error);
    if (where.rfind("//", 0) == 0)
        return parseAbsolute((from.tls ? "https:" : "http:") + where, true, address, error);
    if (where[0] == '/') return setTarget(where, address, error);
    std::string path = from.target.substr(0, from.target.find('?'));
    return setTarget(path.substr(0, path.rfind('/') + 1) + where, address, error);
}
