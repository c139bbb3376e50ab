// Settings of the test news server, filled from its command line (see README.md).
#pragma once
#include <set>
#include <string>

struct NewsServerOptions {
    int port = 0;                     // 0: any free port
    std::string spool = ".";          // one file per article, named by its message id
    std::string user, pass;           // when set, ARTICLE needs AUTHINFO with these
    std::set<std::string> missing;    // ids answered 430 although their file may exist
    long long cutAfter = -1;          // close after this many article bytes (-1: never)
    std::set<std::string> cutIds;     // cut only these ids (empty: every article)
    int cutTimes = -1;                // cut each id only this often (-1: always)
    std::set<std::string> silentIds;  // ARTICLE for these ids is never answered
    int delayMs = 0;                  // wait before every answer
    bool silent = false;              // accept, never answer anything
    bool silentAfterGreeting = false; // greet, then never answer
    bool refuseGreeting = false;      // greet with 502 and close
    int maxConnections = 64;          // beyond it: "400 too many connections"
    std::string logFile;              // one line per command received
    int lifetimeSeconds = 600;        // the server ends by itself after this long
    std::string tlsCertificate, tlsKey; // PEM files: implicit TLS on every connection
};
