// testwebserver: see README.md for the command line.
#include "RouteTable.h"
#include "ServerMain.h"
#include "TestWebServer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage() {
    fprintf(stderr,
            "usage: testwebserver [--port N] [--root DIR] [--routes FILE]... [--route LINE]...\n"
            "                     [--log FILE] [--silent] [--delay MS] [--chunk N] [--pause MS]\n"
            "                     [--lifetime SECONDS] [--tls CERT KEY]\n");
}

bool readNumber(const char* text, int& number) {
    char* end = nullptr;
    long value = strtol(text, &end, 10);
    if (!*text || *end || value < 0 || value > 100000000) return false;
    number = (int)value;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    TestWebServerOptions options;
    RouteTable routes;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (arg == "--silent") {
            options.silent = true;
            continue;
        }
        if (arg == "--tls" && i + 2 < argc) {
            options.tlsCertificate = argv[++i];
            options.tlsKey = argv[++i];
            continue;
        }
        if (!value) {
            usage();
            return 2;
        }
        ++i;
        if (arg == "--port")
            ok = readNumber(value, options.port) && options.port < 65536;
        else if (arg == "--root")
            options.root = value;
        else if (arg == "--log")
            options.logFile = value;
        else if (arg == "--delay")
            ok = readNumber(value, options.delayMs);
        else if (arg == "--chunk")
            ok = readNumber(value, options.chunkSize);
        else if (arg == "--pause")
            ok = readNumber(value, options.pauseMs);
        else if (arg == "--lifetime")
            ok = readNumber(value, options.lifetimeSeconds);
        else if (arg == "--routes")
            ok = routes.addFile(value, error);
        else if (arg == "--route")
            ok = routes.addLine(value, error);
        else {
            usage();
            return 2;
        }
        if (!ok) {
            fprintf(stderr, "testwebserver: bad %s %s%s%s\n", arg.c_str(), value,
                    error.empty() ? "" : ": ", error.c_str());
            return 2;
        }
    }

    TestWebServer server(options, routes);
    return listenAnnounceServe(server);
}
