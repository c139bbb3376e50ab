// Which fixture answers which request. One route per line:
//   METHOD TARGET -> FILE [option ...]
// METHOD is GET, POST or * (any); TARGET is the exact request target (path and query)
// or a prefix when it ends in '*'; FILE is relative to the server's root, '-' for an
// empty body. Option values may be double-quoted to hold blanks. The first route that
// matches wins.
#pragma once
#include <optional>
#include <string>
#include <vector>

struct Route {
    std::string method; // "GET", "POST" or "*"
    std::string target; // exact target, or prefix when isPrefix
    bool isPrefix = false;
    std::string file;                      // relative to the root; empty for an empty body
    std::string contentType;               // empty: chosen from the file's extension
    std::vector<std::string> extraHeaders; // whole header lines without CRLF
    std::string attachmentName;
    std::string redirect; // Location of a redirect answer (status 302 unless given)
    int status = 200;
    bool gzip = false;
    bool raw = false;    // the file is the whole response, sent verbatim
    bool silent = false; // read the request, never answer
    int headerSize = 0;  // pad the header to exactly this many bytes (0: no padding)
    int delayMs = -1;    // -1: the server-wide setting
    int chunkSize = -1;  // -1: the server-wide setting
    int pauseMs = -1;    // -1: the server-wide setting
    int truncateAt = -1; // send only this many bytes of the response, then close
};

class RouteTable {
  public:
    // Adds one route line; blank lines and lines starting with '#' are accepted and
    // ignored. Returns false (with the reason in `error`) for a malformed line.
    bool addLine(const std::string& line, std::string& error);
    // Adds every line of a route file; stops at the first malformed line.
    bool addFile(const std::string& path, std::string& error);
    std::optional<Route> match(const std::string& method, const std::string& target) const;

  private:
    std::vector<Route> routes;
};
