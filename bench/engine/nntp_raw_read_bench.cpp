// The raw NNTP read speed on loopback: N connections to the test news server that only
// send ARTICLE and read and drop each answer up to its end marker, with no other work.
// The engine's download benchmark compares its throughput with this figure.
//
//   nntp_raw_read_bench [--spool DIR [--nzb FILE | --ids FILE]] [--size MIB]
//                       [--connections N] [--runs N] [--port N] [--tls CERT KEY]
//
// Without --spool a spool of --size MiB (default 1024) of yEnc-like articles is made in
// a temporary folder and removed afterwards. Without --nzb/--ids every file of the
// spool is fetched. Without --port the bench starts testnewsserver on the spool itself
// (and reports its CPU time too). Prints MB/s (10^6 bytes) and CPU seconds per run and
// the median run. With --tls the server speaks TLS with that certificate and the reader
// goes through our TLS layer (certificate not verified): the cost of TLS on the read.
#include "CpuTime.h"
#include "TestNewsServerProcess.h"
#include "tlsClientContext.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const size_t kReadChunk = 256 * 1024;
const size_t kArticleData = 384000; // data bytes per article, as a typical post has
const int kLineLength = 128;

struct Settings {
    std::string spool, nzb, idsFile;
    long long sizeMiB = 1024;
    int connections = 4;
    int runs = 3;
    int port = 0;
    std::string tlsCertificate, tlsKey; // --tls
};

struct RunResult {
    double seconds = 0, megabytesPerSecond = 0, clientCpu = 0;
    long long bytes = 0, articles = 0, failures = 0;
};

// A pool of yEnc-like lines (random printable characters, a few beginning with a dot,
// as unescaped yEnc has) from which the articles are put together quickly.
std::vector<std::string> makeLines() {
    std::vector<std::string> lines(4096, std::string(kLineLength, ' '));
    unsigned long long state = 0x9e3779b97f4a7c15ULL;
    for (std::string& line : lines) {
        for (char& c : line) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            c = (char)(33 + (state >> 33) % 90);
        }
        if ((state & 0xff) < 16) line[0] = '.';
        line += "\r\n";
    }
    return lines;
}

// Writes articles until `bytes` are in the spool; returns their ids.
std::vector<std::string> makeSpool(const std::string& folder, long long bytes) {
    std::vector<std::string> lines = makeLines();
    std::vector<std::string> ids;
    std::string article;
    size_t pick = 0;
    for (long long written = 0; written < bytes;) {
        std::string number = std::to_string(ids.size() + 1);
        std::string id = "part" + number + ".raw@bench.local";
        article = "From: bench <bench@bench.local>\r\nNewsgroups: alt.binaries.test\r\n"
                  "Subject: \"raw.bin\" yEnc (" +
                  number + "/0)\r\nMessage-ID: <" + id + ">\r\n\r\n=ybegin part=" + number +
                  " line=128 size=1 name=raw.bin\r\n";
        for (size_t data = 0; data < kArticleData; data += kLineLength) {
            pick = (pick * 1103515245 + 12345) % lines.size();
            article += lines[pick];
        }
        article += "=yend size=1 part=" + number + "\r\n";
        std::ofstream(folder + "/" + id, std::ios::binary) << article;
        written += (long long)article.size();
        ids.push_back(id);
    }
    return ids;
}

// Message ids of an NZB: the text of every <segment ...>id</segment> element.
std::vector<std::string> idsFromNzb(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> ids;
    for (size_t pos = text.find("<segment"); pos != std::string::npos;
         pos = text.find("<segment", pos + 1)) {
        // "<segments>", the list around them, is no segment.
        if (pos + 8 < text.size() && !strchr(" \t\r\n>", text[pos + 8])) continue;
        size_t start = text.find('>', pos);
        size_t end = text.find("</segment>", pos);
        if (start == std::string::npos || end == std::string::npos || end < start) break;
        std::string id = text.substr(start + 1, end - start - 1);
        if (id.size() > 2 && id.front() == '<' && id.back() == '>')
            id = id.substr(1, id.size() - 2);
        ids.push_back(id);
    }
    return ids;
}

std::vector<std::string> idsFromList(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> ids;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) ids.push_back(line);
    }
    return ids;
}

std::vector<std::string> idsFromFolder(const std::string& folder) {
    std::vector<std::string> ids;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name[0] != '.') ids.push_back(name);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((uint16_t)port);
    if (connect(fd, (sockaddr*)&address, sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// One reader's connection, plain or through the TLS layer.
struct Connection {
    int fd = -1;
    std::unique_ptr<TlsStream> tls;

    ~Connection() {
        tls.reset();
        if (fd >= 0) close(fd);
    }
    ssize_t receive(char* buffer, size_t size) {
        return tls ? tls->read(buffer, size, 30000) : recv(fd, buffer, size, 0);
    }
    bool sendAll(const std::string& text) {
        if (tls) return tls->write(text.data(), text.size(), 30000) == (long)text.size();
        return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == (ssize_t)text.size();
    }
};

// Reads one answer: a status line, and for 220 the data up to "\r\n.\r\n". Returns the
// bytes read, or -1 when the connection broke; `found` tells whether it was a 220.
long long readAnswer(Connection& connection, char* buffer, bool& found) {
    long long total = 0;
    char head[4] = {}, tail[5] = {};
    size_t headLength = 0, tailLength = 0;
    found = false;
    for (;;) {
        ssize_t n = connection.receive(buffer, kReadChunk);
        if (n <= 0) return -1;
        total += n;
        size_t headTake = std::min((size_t)n, sizeof head - headLength);
        memcpy(head + headLength, buffer, headTake);
        headLength += headTake;
        found = headLength == sizeof head && memcmp(head, "220 ", 4) == 0;
        // Keep the last five bytes of the stream across reads.
        size_t take = std::min((size_t)n, sizeof tail);
        size_t keep = std::min(tailLength, sizeof tail - take);
        memmove(tail, tail + tailLength - keep, keep);
        memcpy(tail + keep, buffer + n - take, take);
        tailLength = keep + take;
        bool lineEnded = tailLength >= 2 && memcmp(tail + tailLength - 2, "\r\n", 2) == 0;
        if (headLength == sizeof head && !found && lineEnded) return total;
        if (found && tailLength == sizeof tail && memcmp(tail, "\r\n.\r\n", 5) == 0) return total;
    }
}

RunResult runOnce(int port, const std::vector<std::string>& ids, int connections,
                  const TlsClientContext* tls) {
    std::atomic<size_t> next{0};
    std::atomic<long long> bytes{0}, articles{0}, failures{0};
    double cpuBefore = cpuSeconds(RUSAGE_SELF);
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int c = 0; c < connections; ++c)
        threads.emplace_back([&] {
            std::unique_ptr<char[]> buffer(new char[kReadChunk]);
            Connection connection;
            connection.fd = connectTo(port);
            std::string failure;
            if (tls && connection.fd >= 0)
                connection.tls = tls->handshake(connection.fd, "127.0.0.1", 30000, failure);
            char greeting[512];
            if (connection.fd < 0 || (tls && !connection.tls) ||
                connection.receive(greeting, sizeof greeting) <= 0) {
                failures += 1;
                return;
            }
            std::string command;
            for (size_t i = next++; i < ids.size(); i = next++) {
                command = "ARTICLE <" + ids[i] + ">\r\n";
                bool found = false;
                if (!connection.sendAll(command)) {
                    failures += 1;
                    break;
                }
                long long n = readAnswer(connection, buffer.get(), found);
                if (n < 0) {
                    failures += 1;
                    break;
                }
                bytes += n;
                if (found)
                    articles += 1;
                else
                    failures += 1;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    RunResult result;
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.clientCpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    result.bytes = bytes;
    result.articles = articles;
    result.failures = failures;
    result.megabytesPerSecond = (double)result.bytes / 1e6 / result.seconds;
    return result;
}

bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--tls" && i + 2 < argc) {
            settings.tlsCertificate = argv[++i];
            settings.tlsKey = argv[++i];
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (name == "--spool")
            settings.spool = value;
        else if (name == "--nzb")
            settings.nzb = value;
        else if (name == "--ids")
            settings.idsFile = value;
        else if (name == "--size")
            settings.sizeMiB = atoll(value);
        else if (name == "--connections")
            settings.connections = atoi(value);
        else if (name == "--runs")
            settings.runs = atoi(value);
        else if (name == "--port")
            settings.port = atoi(value);
        else
            return false;
    }
    return settings.sizeMiB > 0 && settings.connections > 0 && settings.connections <= 64 &&
           settings.runs > 0 && settings.runs <= 100;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parse(argc, argv, settings)) {
        fprintf(stderr, "usage: nntp_raw_read_bench [--spool DIR [--nzb FILE | --ids FILE]] "
                        "[--size MIB] [--connections N] [--runs N] [--port N] "
                        "[--tls CERT KEY]\n");
        return 2;
    }
    std::string madeSpool;
    std::vector<std::string> ids;
    if (settings.spool.empty()) {
        char pattern[] = "/tmp/nntp_raw_bench_XXXXXX";
        if (!mkdtemp(pattern)) return 1;
        madeSpool = settings.spool = pattern;
        auto start = Clock::now();
        ids = makeSpool(settings.spool, settings.sizeMiB * 1024 * 1024);
        printf("spool: %zu articles made in %.1f s\n", ids.size(),
               std::chrono::duration<double>(Clock::now() - start).count());
    } else if (!settings.nzb.empty()) {
        ids = idsFromNzb(settings.nzb);
    } else if (!settings.idsFile.empty()) {
        ids = idsFromList(settings.idsFile);
    } else {
        ids = idsFromFolder(settings.spool);
    }

    std::unique_ptr<TestNewsServerProcess> server;
    std::unique_ptr<TlsClientContext> tls;
    if (!settings.tlsCertificate.empty())
        tls = std::make_unique<TlsClientContext>(TlsClientOptions{false, ""});
    int port = settings.port;
    if (!port) {
        std::vector<std::string> arguments = {"--spool", settings.spool,      "--lifetime",
                                              "3600",    "--max-connections", "128"};
        if (tls)
            arguments.insert(arguments.end(), {"--tls", settings.tlsCertificate, settings.tlsKey});
        server = std::make_unique<TestNewsServerProcess>(arguments);
        port = server->port();
    }
    int status = port > 0 && !ids.empty() ? 0 : 1;
    std::vector<double> speeds;
    for (int run = 0; run < settings.runs && status == 0; ++run) {
        RunResult result = runOnce(port, ids, settings.connections, tls.get());
        printf("run %d: %lld articles, %.1f MB in %.2f s: %.1f MB/s, client CPU %.2f s "
               "(%.2f per GB)%s%s\n",
               run + 1, result.articles, (double)result.bytes / 1e6, result.seconds,
               result.megabytesPerSecond, result.clientCpu,
               result.clientCpu / ((double)result.bytes / 1e9), tls ? ", TLS" : "",
               result.failures ? " (with failures)" : "");
        speeds.push_back(result.megabytesPerSecond);
        if (result.failures) status = 1;
    }
    if (server) {
        server->stop();
        printf("server CPU %.2f s over all runs\n", cpuSeconds(RUSAGE_CHILDREN));
    }
    if (!speeds.empty()) {
        std::sort(speeds.begin(), speeds.end());
        printf("median: %.1f MB/s with %d connections\n", speeds[speeds.size() / 2],
               settings.connections);
    }
    if (!madeSpool.empty()) std::filesystem::remove_all(madeSpool);
    return status;
}
