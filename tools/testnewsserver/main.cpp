// testnewsserver: see README.md for the command line.
#include "ServerMain.h"
#include "TestNewsServer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void usage() {
    fprintf(stderr,
            "usage: testnewsserver [--port N] [--spool DIR] [--user U --pass P]\n"
            "                      [--missing ID,...] [--missing-file FILE]\n"
            "                      [--cut-after BYTES [--cut-ids ID,...] [--cut-times K]]\n"
            "                      [--delay MS] [--silent] [--silent-after-greeting]\n"
            "                      [--silent-ids ID,...] [--refuse-greeting]\n"
            "                      [--max-connections N] [--log FILE] [--lifetime SECONDS]\n"
            "                      [--tls CERT KEY]\n");
}

bool readNumber(const char* text, long long limit, long long& number) {
    char* end = nullptr;
    long long value = strtoll(text, &end, 10);
    if (!*text || *end || value < 0 || value > limit) return false;
    number = value;
    return true;
}

bool readInt(const char* text, int limit, int& number) {
    long long value = 0;
    if (!readNumber(text, limit, value)) return false;
    number = (int)value;
    return true;
}

void addList(const std::string& text, std::set<std::string>& ids) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) ids.insert(text.substr(start, comma - start));
        start = comma + 1;
    }
}

// One id per line (angle brackets and CR allowed); false when the file cannot be read.
bool addListFile(const char* path, std::set<std::string>& ids) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() >= 2 && line.front() == '<' && line.back() == '>')
            line = line.substr(1, line.size() - 2);
        if (!line.empty()) ids.insert(line);
    }
    return true;
}

// Applies one option with a value; false when the value is bad or the option unknown.
bool applyOption(const std::string& name, const char* value, NewsServerOptions& options) {
    const int maxMs = 600000;
    if (name == "--port") return readInt(value, 65535, options.port);
    if (name == "--spool")
        options.spool = value;
    else if (name == "--user")
        options.user = value;
    else if (name == "--pass")
        options.pass = value;
    else if (name == "--missing")
        addList(value, options.missing);
    else if (name == "--missing-file")
        return addListFile(value, options.missing);
    else if (name == "--cut-after")
        return readNumber(value, 1LL << 40, options.cutAfter);
    else if (name == "--cut-ids")
        addList(value, options.cutIds);
    else if (name == "--cut-times")
        return readInt(value, 1000000, options.cutTimes);
    else if (name == "--silent-ids")
        addList(value, options.silentIds);
    else if (name == "--delay")
        return readInt(value, maxMs, options.delayMs);
    else if (name == "--max-connections")
        return readInt(value, 10000, options.maxConnections);
    else if (name == "--log")
        options.logFile = value;
    else if (name == "--lifetime")
        return readInt(value, 86400, options.lifetimeSeconds);
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    NewsServerOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--silent")
            options.silent = true;
        else if (name == "--silent-after-greeting")
            options.silentAfterGreeting = true;
        else if (name == "--refuse-greeting")
            options.refuseGreeting = true;
        else if (name == "--tls" && i + 2 < argc) {
            options.tlsCertificate = argv[++i];
            options.tlsKey = argv[++i];
        } else if (i + 1 >= argc || name == "--tls") {
            usage();
            return 2;
        } else if (!applyOption(name, argv[++i], options)) {
            fprintf(stderr, "testnewsserver: bad option %s %s\n", name.c_str(), argv[i]);
            usage();
            return 2;
        }
    }

    TestNewsServer server(options);
    return listenAnnounceServe(server);
}
