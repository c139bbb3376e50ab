// A minimal HTTP/1.0 client on the client's TCP connection, for the update check: one
// request per connection, the reply kept whole up to a small cap, never de-chunked.
#pragma once
#include "cTCPclient.h"

#include <cstddef>
#include <string>

class CTCPclientHTTP : public cTCPclient {
  public:
    // The most reply text one GetUrl keeps; the rest of a longer reply is not read.
    static constexpr size_t kMaxReply = 2047;

    CTCPclientHTTP() : cTCPclient(-1) {}

    // Sends a GET (or, with `post`, a form POST) for "/`path`" to the connection's host,
    // with `extra` header lines after the Host line, and splits the reply into header
    // and body. Connects afresh and closes again. The body, or null when it is empty.
    const char* GetUrl(const char* path, const char* extra, const char* post);
    // The body of the last GetUrl, or null when it is empty.
    const char* Response() const;
    // The status line and header lines of the last GetUrl, without the blank line.
    const std::string& Header() const { return header; }

  private:
    // The request text: request line, Host line, `extra`, the form when posting.
    std::string request(const char* path, const char* extra, const char* post) const;
    // Takes header and body from `reply`; both stay empty without a blank line.
    void split(const std::string& reply);

    std::string header;
    std::string content;
};
