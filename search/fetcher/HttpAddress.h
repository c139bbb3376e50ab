// Where one request goes. A host is written "name[:port]" (plain HTTP, as always),
// "http://name[:port]" or "https://name[:port]"; an absolute URL is such a host
// followed by a path. Every text that reaches the request is checked here, so caller
// data cannot add lines to it.
#pragma once
#include <string>

struct THttpAddress {
    bool tls = false;
    std::string name;     // host name or address, without the port
    int port = 80;        // 80 for http, 443 for https unless given
    std::string hostLine; // the Host line's text: the name, and the port when one was given
    std::string target;   // path and query, beginning with '/'

    // "https://name:port/target", for log lines: keys in the query are masked.
    std::string text() const;
};

class HttpAddress {
  public:
    static const size_t kMaxHostLength = 127;
    static const size_t kMaxTargetLength = 1024;

    // A host as configured and the target to ask it for, taken as it stands (even when
    // it holds "://"). False, with the reason in `error`, for an unknown scheme, a
    // missing or over-long name or target, a port not in 1..65535, or a line break.
    static bool fromHost(const std::string& host, const std::string& target,
                         THttpAddress& address, std::string& error);
    // An absolute URL "scheme://host[:port]/path".
    static bool fromUrl(const std::string& url, THttpAddress& address, std::string& error);
    // The address a redirect's Location names, seen from `from`: an absolute URL, one
    // without its scheme ("//host/path"), an absolute path or a path relative to the
    // folder of `from`'s path. A fragment is dropped.
    static bool fromLocation(const THttpAddress& from, const std::string& location,
                             THttpAddress& address, std::string& error);
};
