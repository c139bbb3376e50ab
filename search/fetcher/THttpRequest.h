// One queued request of the fetcher; every text is an owned copy, empty when the caller
// gave none.
#pragma once
#include <string>

struct THttpRequest {
    std::string file;   // receives the body; ends with its final extension
    std::string host;   // "name" or "name:port"; empty: taken from an absolute url
    std::string url;    // path and query when a host is given, else an absolute URL
    std::string post;   // form body; empty means GET
    std::string cookie; // value of the Cookie line; empty means no such line
};
