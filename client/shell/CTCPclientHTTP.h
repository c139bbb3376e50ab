// A minimal HTTP/1.0 client on the client's TCP connection, for the update check.
#pragma once
#include "cTCPclient.h"

#include <string>

class CTCPclientHTTP : public cTCPclient {
  public:
    CTCPclientHTTP() : cTCPclient(-1) {}

    // Sends a GET (or, with `post`, a form POST) for "/`path`" to the connection's host,
    // with `extra` header text after the Host line; keeps the reply's header and body.
    // The body, or null when it is empty.
    const char* GetUrl(const char* path, const char* extra, const char* post);
    // The body of the last GetUrl, or null when it is empty.
    const char* Response() const;
    const std::string& Header() const { return header; }

  private:
    std::string header;
    std::string content;
};
