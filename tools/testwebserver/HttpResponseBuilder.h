// Turns a route into the exact bytes of its answer: status line, headers and body.
#pragma once
#include "RouteTable.h"

#include <optional>
#include <string>

class HttpResponseBuilder {
  public:
    explicit HttpResponseBuilder(std::string root);

    // The complete answer of a route. A fixture file that cannot be read gives a 404
    // answer and a line on standard error.
    std::string build(const Route& route) const;
    // A route serving the file named by the target's path (query cut off), or nothing
    // when the path leaves the root or names no regular file.
    std::optional<Route> staticRoute(const std::string& target) const;
    // The answer to a request that no route and no file matches.
    static std::string notFound();

    static std::string contentTypeFor(const std::string& file);
    static std::string gzipCompress(const std::string& data);

  private:
    bool readFixture(const std::string& file, std::string& data) const;
    std::string root;
};
