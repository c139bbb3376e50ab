// HTTP/1.0 over CTcpClient: one request per connection, the response body streamed
// into a file whose extension is then set from the response's content type.
#pragma once
#include "CTcpClient.h"

#include <cstdio>
#include <string>

class CTcpClientHttp {
  public:
    static const int kHeaderCapacity = 4095;
    static const size_t kMaxHostLength = 127;
    static const size_t kMaxTargetLength = 1024;
    static const int kDefaultPort = 80;

    // The request text: GET, or a form POST when `post` is not empty; a Cookie line
    // only when `cookie` is not empty.
    static void createRequest(const std::string& host, const std::string& target,
                              const std::string& post, const std::string& cookie,
                              std::string& request);
    // Receives until the blank line that ends the header, which must lie within the
    // first `length` (at most kHeaderCapacity) bytes; `buffer` holds one byte more.
    // Returns the first body byte inside `buffer` and sets `length` to the body bytes
    // already received, or returns null when the connection ended, a wait failed or
    // the header is too long. The header text stays in `buffer`, NUL-terminated after
    // its last line's CRLF.
    static char* recvHeader(int socket, char* buffer, int& length,
                            int waitSeconds = CTcpClient::kWaitSeconds);
    // Writes the `length` body bytes already received, then everything else until the
    // connection ends; `length` ends as the body size. Returns the last receive result
    // (0 when the peer closed, -1 on failure).
    static int recvContent(int socket, FILE* file, const char* body, long long& length,
                           int waitSeconds = CTcpClient::kWaitSeconds);
    // One complete fetch into `file`, which ends under its final name. Returns 0 when
    // the file was written (whatever happened on the network), -1 when it could not be
    // created.
    static int httpRequest(std::string& file, const std::string& host, const std::string& url,
                           const std::string& post, const std::string& cookie,
                           int waitSeconds = CTcpClient::kWaitSeconds);

  private:
    enum TContent { contentOther, contentPlainText, contentNzb };
    // Connects, sends and receives into `out`; false when no header arrived. `gzip` and
    // `content` describe the header that did arrive.
    static bool fetchInto(FILE* out, const std::string& host, const std::string& target,
                          const std::string& post, const std::string& cookie, int waitSeconds,
                          bool& gzip, TContent& content);
    static std::string finalName(const std::string& file, TContent content);
};
