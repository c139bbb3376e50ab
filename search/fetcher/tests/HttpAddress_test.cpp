#include "HttpAddress.h"
#include "HttpHeader.h"

#include <gtest/gtest.h>

TEST(HttpAddressTest, HostsAndUrls) {
    struct Row {
        const char* host; // null: `target` is an absolute URL
        const char* target;
        const char* text; // null: refused
        const char* hostLine;
    } rows[] = {
        {"www.example.org", "/s?q=a", "http://www.example.org:80/s?q=a", "www.example.org"},
        {"127.0.0.1:8081", "/", "http://127.0.0.1:8081/", "127.0.0.1:8081"},
        {"https://www.example.org", "/s", "https://www.example.org:443/s", "www.example.org"},
        {"HTTPS://h:8443", "/s", "https://h:8443/s", "h:8443"},
        {"http://h", "/r?u=http://x/y", "http://h:80/r?u=http://x/y", "h"},
        {nullptr, "https://h:444/update.php?v=1", "https://h:444/update.php?v=1", "h:444"},
        {nullptr, "http://h/p", "http://h:80/p", "h"},
        {"ftp://h", "/", nullptr, nullptr},
        {"https://", "/", nullptr, nullptr},
        {"h:0", "/", nullptr, nullptr},
        {"h:65536", "/", nullptr, nullptr},
        {"h:8o", "/", nullptr, nullptr},
        {"https://www.example.org/", "/", nullptr, nullptr}, // a path belongs in the target
        {"user@h", "/", nullptr, nullptr},
        {"h", "", nullptr, nullptr},
        {"h", "/a\r\nX: 1", nullptr, nullptr},
        {nullptr, "https://h", nullptr, nullptr}, // no path
        {nullptr, "no-scheme/p", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        THttpAddress address;
        std::string error;
        bool ok = row.host ? HttpAddress::fromHost(row.host, row.target, address, error)
                           : HttpAddress::fromUrl(row.target, address, error);
        std::string what = std::string(row.host ? row.host : "") + " " + row.target;
        ASSERT_EQ(ok, row.text != nullptr) << what << ": " << error;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << what;
            continue;
        }
        EXPECT_EQ(address.text(), row.text) << what;
        EXPECT_EQ(address.hostLine, row.hostLine) << what;
    }
    THttpAddress address;
    std::string error;
    EXPECT_FALSE(HttpAddress::fromHost(std::string(128, 'h'), "/", address, error));
    EXPECT_TRUE(HttpAddress::fromHost(std::string(127, 'h'), std::string(1024, '/'), address,
                                      error));
    EXPECT_FALSE(HttpAddress::fromHost("h", std::string(1025, '/'), address, error));
}

TEST(HttpAddressTest, RedirectLocations) {
    THttpAddress from;
    std::string error;
    ASSERT_TRUE(HttpAddress::fromHost("https://site:8443", "/a/b.php?q=1", from, error));
    struct Row {
        const char* location;
        const char* text; // null: refused
    } rows[] = {
        {"https://other/x", "https://other:443/x"},
        {"http://other:81/x", "http://other:81/x"},
        {"https://other", "https://other:443/"},
        {"//cdn:9443/y", "https://cdn:9443/y"},
        {"/top?z=2#part", "https://site:8443/top?z=2"},
        {"c.php", "https://site:8443/a/c.php"},
        {"gopher://x/", nullptr},
        {"/with blank", nullptr},
        {"", nullptr},
        {"#only", nullptr},
    };
    for (const Row& row : rows) {
        THttpAddress to;
        bool ok = HttpAddress::fromLocation(from, row.location, to, error);
        ASSERT_EQ(ok, row.text != nullptr) << row.location;
        if (ok) {
            EXPECT_EQ(to.text(), row.text) << row.location;
        }
    }
}

TEST(HttpHeaderTest, StatusContentAndLocation) {
    THttpHeader header = parseHttpHeader("HTTP/1.1 302 Found\r\nlocation:  /next \r\n"
                                         "Content-Type: text/plain\r\n");
    EXPECT_EQ(header.status, 302);
    EXPECT_EQ(header.location, "/next");
    EXPECT_TRUE(header.isRedirect());
    EXPECT_FALSE(header.keepsMethod());
    EXPECT_EQ(header.content, THttpContent::plainText);

    header = parseHttpHeader("HTTP/1.0 307 Temporary\r\nContent-Encoding: gzip\r\n"
                             "Content-Type: application/x-nzb;\r\nLocation: x\r\n");
    EXPECT_TRUE(header.keepsMethod());
    EXPECT_TRUE(header.gzip);
    EXPECT_EQ(header.content, THttpContent::nzb);

    // A redirect status without a place to go is an answer like any other.
    EXPECT_FALSE(parseHttpHeader("HTTP/1.0 301 Moved\r\n").isRedirect());
    EXPECT_FALSE(parseHttpHeader("HTTP/1.0 200 OK\r\nLocation: /x\r\n").isRedirect());
    EXPECT_EQ(parseHttpHeader("garbage\r\nLocation: /x\r\n").status, 0);
    // A status is three digits from 100 on, nothing shorter or signed.
    for (const char* line : {"HTTP/1.1 2\x8c" "0 OK\r\n", "HTTP/1.1 30 x\r\n", "HTTP/1.1 -30 x\r\n",
                             "HTTP/1.1 +30 x\r\n", "HTTP/1.1 020 x\r\n"})
        EXPECT_EQ(parseHttpHeader(line).status, 0) << line;
    EXPECT_EQ(parseHttpHeader("HTTP/1.0 200 OK\r\nX-Location: /x\r\n").location, "");
}

TEST(HttpHeaderTest, CharsetIsTheContentTypesParameter) {
    const std::pair<const char*, const char*> rows[] = {
        {"Content-Type: text/html; charset=iso-8859-1\r\n", "iso-8859-1"},
        {"content-type: text/html;CHARSET=\"UTF-8\"\r\n", "UTF-8"},
        {"Content-Type: text/html; charset=windows-1252; format=flowed\r\n", "windows-1252"},
        {"Content-Type: text/html; name=a; charset=utf-8 \r\n", "utf-8"},
        {"Content-Type: text/html\r\n", ""},
        {"Content-Type: text/html; xcharset=utf-8\r\n", ""},
        // Only the Content-Type line declares the body's charset.
        {"X-Note: text/html; charset=utf-8\r\nContent-Type: text/html\r\n", ""},
        {"Content-Type: text/html; charset=\r\n", ""},
    };
    for (const auto& [line, charset] : rows)
        EXPECT_EQ(parseHttpHeader(std::string("HTTP/1.0 200 OK\r\n") + line).charset, charset)
            << line;
}
