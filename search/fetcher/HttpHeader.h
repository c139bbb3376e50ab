// What the fetcher reads from a response header: the status, whether the body is
// gzip-compressed, what kind of content it is (which sets the file's extension), the
// charset it is declared in and where a redirect points.
#pragma once
#include <string>

enum class THttpContent { other, plainText, nzb };

struct THttpHeader {
    int status = 0; // 0 when the first line is no HTTP status line
    bool gzip = false;
    THttpContent content = THttpContent::other;
    std::string charset;  // the Content-Type's charset parameter, empty when none
    std::string location; // the Location line's value, empty when none

    // 301, 302, 303, 307 or 308 with somewhere to go.
    bool isRedirect() const;
    // Whether the redirect keeps the method and body of a POST: 307 and 308 do, the
    // others turn it into a GET, as browsers do.
    bool keepsMethod() const;
};

// Reads a header as it arrived: status line and header lines, each ending in CRLF.
// The content tests are exact and case-sensitive ("Content-Type: text/plain" with a
// charset is no plain text); the Location name and the charset parameter are matched in
// any case.
THttpHeader parseHttpHeader(const std::string& text);
