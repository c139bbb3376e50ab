// HTTP/1.0 over CHttpStream: one request per connection, redirects followed, the
// response body streamed into a file whose extension is then set from the response's
// content type. Every request is bounded: each wait, the whole request (redirects
// included) and the size of the body, before and after gzip inflation.
#pragma once
#include "CHttpStream.h"
#include "HttpHeader.h"
#include "THttpLimits.h"

#include <cstdio>
#include <string>

class CTcpClientHttp {
  public:
    static const int kHeaderCapacity = 4095;
    static const int kMaxRedirects = 5;

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
    static char* recvHeader(CHttpStream& stream, char* buffer, int& length);
    // How a body ended: the peer closed (over TLS: with close_notify), the connection
    // failed or timed out, or the body passed its limit (then not all of it is written).
    enum TBodyEnd { bodyComplete, bodyCut, bodyTooLarge };
    // Writes the `length` body bytes already received, then everything else until the
    // connection ends or the body passes `limit`; `length` ends as the bytes received.
    static TBodyEnd recvContent(CHttpStream& stream, FILE* file, const char* body,
                                long long& length, long long limit);
    // One complete fetch into `file`, which ends under its final name; `charset` ends as
    // the charset the kept body's header declares (empty when none). `tls` checks the
    // servers of https addresses (null: https is refused). Returns 0 when the file was
    // written (whatever happened on the network), -1 when it could not be created.
    static int httpRequest(std::string& file, std::string& charset, const std::string& host,
                           const std::string& url, const std::string& post,
                           const std::string& cookie, const TlsClientContext* tls,
                           const THttpLimits& limits);

  private:
    // Follows redirects from `address` and writes the final body into `out`; `header`
    // becomes the header of the response whose body was kept, and stays as it is when
    // none was.
    static void fetchInto(FILE* out, THttpAddress address, std::string post,
                          std::string cookie, const TlsClientContext* tls,
                          const THttpLimits& limits, THttpHeader& header);
    // Where the `hop`th redirect leads; false, with a log line, when it is not followed
    // (too many, an unusable Location, or from https to plain http).
    static bool redirectTarget(const THttpAddress& from, const THttpHeader& redirect, int hop,
                               THttpAddress& next);
    // Replaces the received gzip file by its inflated body, or empties it when that is
    // too large; `stored` ends as the name the body is under.
    static void inflateBody(std::string& stored, THttpHeader& header, long long limit);
    static std::string finalName(const std::string& file, THttpContent content);
};
