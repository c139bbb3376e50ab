// NZBGet (the Debian package, as a peer) and corvane side by side: the same post of
// random files served by one test news server on loopback, the same connection count,
// runs alternating NZBGet, corvane with direct write, corvane with segment files.
//
//   side_by_side_bench [--runs 3] [--size MIB] [--files N] [--connections 8]
//                      [--tls CERT KEY]
//
// Per run and as medians: MB/s of article data from the start of the program to the
// last finished file, CPU seconds (with children: yydecode), peak resident memory, and
// the peak space of the temporary folders (beyond the output files themselves); then
// corvane's ratios to NZBGet. --tls adds a second test news server that speaks TLS with
// that certificate: every run then goes through both servers, plain and TLS (neither
// client verifies the certificate), and corvane's TLS figures are set against NZBGet's
// TLS speed and corvane's own plain CPU per GiB.
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"
#include "DownloadTimeline.h"
#include "FolderPeak.h"
#include "NzbgetPeer.h"
#include "ProcessUsage.h"
#include "ProgramDownload.h"
#include "TestNewsServerProcess.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const int kLimitSeconds = 900;

struct tfigures {
    double mbps = 0, cpu = 0, peakMiB = 0, tempMiB = 0;
};

struct tsideOptions {
    int runs = 3;
    std::string cert, key; // --tls
};

// Takes --runs and --tls out of the arguments; the rest is for the common settings.
bool takeOwnOptions(int& argc, char** argv, tsideOptions& options) {
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--runs") && i + 1 < argc) {
            options.runs = atoi(argv[++i]);
            if (options.runs < 1 || options.runs > 50) return false;
        } else if (!strcmp(argv[i], "--tls") && i + 2 < argc) {
            options.cert = argv[++i];
            options.key = argv[++i];
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    return true;
}

// The posted files found below `folder` are the originals, byte for byte.
int intactBelow(const std::string& folder, const RandomPost& post) {
    std::map<std::string, std::string> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(folder, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error))
        if (it->is_regular_file()) found[it->path().filename().string()] = it->path().string();
    int intact = 0;
    for (const std::string& original : post.originals) {
        auto at = found.find(fs::path(original).filename().string());
        intact += at != found.end() && sameContent(original, at->second);
    }
    return intact;
}

bool corvaneRun(const RandomPost& post, int port, int connections, int directwrite, bool tls,
                tfigures& figures) {
    CorvaneInstance corvane("corvane_side_by_side");
    const std::string home = corvane.home();
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    corvane.configure("DEFAULT", "directwrite", std::to_string(directwrite));
    prepareDownload(corvane, DownloadBenchSettings{}, port, connections);
    if (tls) {
        corvane.configure("127.0.0.1", "hostssl", "1");
        corvane.configure("127.0.0.1", "hostsslverify", "0");
    }
    fs::create_directories(home + "/temp");
    FolderPeak temp({home + "/temp"});
    DownloadTimeline timeline;
    ProcessUsage usage;
    if (!downloadToTheEnd(corvane, post, kLimitSeconds, timeline, usage)) return false;
    figures.tempMiB = temp.stop() / 1048576.0;
    corvane.message({"x"});
    int exitCode = corvane.waitExit(120);
    int intact = intactBelow(home + "/download", post);
    if (timeline.allDecoded < 0 || intact != (int)post.originals.size() || exitCode != 0) {
        printf("corvane directwrite=%d: FAILED (%d/%zu files intact, exit %d)\n", directwrite,
               intact, post.originals.size(), exitCode);
        corvane.keep();
        return false;
    }
    figures.mbps = post.articleBytes / 1e6 / timeline.allDecoded;
    figures.cpu = usage.cpuSeconds + usage.childCpuSeconds;
    figures.peakMiB = usage.peakKiB / 1024.0;
    return true;
}

bool nzbgetRun(const RandomPost& post, int port, int connections, bool tls, tfigures& figures) {
    NzbgetRun run = runNzbget(post.options.nzb, port, connections, tls, kLimitSeconds);
    int intact = run.ran ? intactBelow(run.destination, post) : 0;
    bool whole = run.ran && intact == (int)post.originals.size();
    if (!whole) {
        printf("nzbget: FAILED (%d/%zu files intact); kept %s\n", intact, post.originals.size(),
               run.folder.c_str());
        return false;
    }
    fs::remove_all(run.folder);
    figures.mbps = post.articleBytes / 1e6 / run.seconds;
    figures.cpu = run.cpuSeconds;
    figures.peakMiB = run.peakKiB / 1024.0;
    figures.tempMiB = run.tempBytes / 1048576.0;
    return true;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

tfigures medians(const std::vector<tfigures>& runs) {
    std::vector<double> mbps, cpu, peak, temp;
    for (const tfigures& run : runs) {
        mbps.push_back(run.mbps);
        cpu.push_back(run.cpu);
        peak.push_back(run.peakMiB);
        temp.push_back(run.tempMiB);
    }
    return {median(mbps), median(cpu), median(peak), median(temp)};
}

void printFigures(const char* who, const tfigures& figures, double gib) {
    printf("%-24s %8.1f MB/s %6.2f CPU s (%5.2f per GiB) %7.1f MiB peak %8.1f MiB temp\n", who,
           figures.mbps, figures.cpu, figures.cpu / gib, figures.peakMiB, figures.tempMiB);
}

double loadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace

int main(int argc, char** argv) {
    tsideOptions own;
    DownloadBenchSettings settings;
    settings.connections = {8};
    settings.raw = false;
    if (!takeOwnOptions(argc, argv, own) ||
        !parseDownloadBenchSettings(argc, argv, settings, 16) || settings.connections.size() != 1) {
        fprintf(stderr, "usage: side_by_side_bench [--runs N] [--size MIB] [--files N] "
                        "[--connections N] [--tls CERT KEY]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool tls = !own.cert.empty();
    const int connections = settings.connections[0];
    char pattern[] = "/tmp/side_by_side_post_XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        return 1;
    }
    std::string base = pattern;
    RandomPost post = makeRandomPost(base, settings);
    const double gib = post.dataBytes / 1073741824.0;

    const char* kinds[] = {"nzbget", "corvane directwrite=1", "corvane directwrite=0"};
    std::vector<bool> modes = {false};
    if (tls) modes.push_back(true);
    auto named = [](const char* kind, bool secure) {
        return std::string(kind) + (secure ? " TLS" : "");
    };
    std::map<std::string, std::vector<tfigures>> results;
    bool whole = true;
    {
        std::vector<std::string> arguments = {"--spool", post.options.spool, "--lifetime", "7200",
                                              "--max-connections", "128"};
        TestNewsServerProcess plainServer(arguments);
        arguments.insert(arguments.end(), {"--tls", own.cert, own.key});
        std::unique_ptr<TestNewsServerProcess> tlsServer;
        if (tls) tlsServer = std::make_unique<TestNewsServerProcess>(arguments);
        if (!plainServer.port() || (tls && !tlsServer->port())) {
            fprintf(stderr, "the test news server did not start\n");
            whole = false;
        }
        for (int run = 1; whole && run <= own.runs; ++run) {
            // Every other run takes TLS first: what a run leaves behind (page cache,
            // freed inodes) must not favour one mode.
            std::vector<bool> order = modes;
            if (run % 2 == 0) std::reverse(order.begin(), order.end());
            for (bool secure : order) {
                int port = secure ? tlsServer->port() : plainServer.port();
                for (const char* kind : kinds) {
                    std::string name = named(kind, secure);
                    tfigures figures;
                    printf("run %d, %s (load average %.1f)\n", run, name.c_str(), loadAverage());
                    bool ok = kind[0] == 'n'
                                  ? nzbgetRun(post, port, connections, secure, figures)
                                  : corvaneRun(post, port, connections, strstr(kind, "=1") ? 1 : 0,
                                               secure, figures);
                    if (!ok) {
                        whole = false;
                        break;
                    }
                    printFigures(name.c_str(), figures, gib);
                    results[name].push_back(figures);
                }
                if (!whole) break;
            }
        }
    }
    fs::remove_all(base);
    if (!whole) return 1;

    printf("\nmedians of %d runs, %.2f GiB of files (%.1f MB of articles), %d connections, "
           "load average now %.1f:\n",
           own.runs, gib, post.articleBytes / 1e6, connections, loadAverage());
    for (bool secure : modes) {
        tfigures peer = medians(results[named(kinds[0], secure)]);
        printFigures(named(kinds[0], secure).c_str(), peer, gib);
        for (int i = 1; i < 3; ++i) {
            tfigures mine = medians(results[named(kinds[i], secure)]);
            printFigures(named(kinds[i], secure).c_str(), mine, gib);
            printf("  against nzbget%s: %.2fx MB/s, %.2fx CPU s\n", secure ? " TLS" : "",
                   mine.mbps / peer.mbps, mine.cpu / peer.cpu);
            if (!secure) continue;
            tfigures plain = medians(results[named(kinds[i], false)]);
            printf("  against its own plain run: %.2fx CPU s per GiB\n", mine.cpu / plain.cpu);
        }
    }
    if (tls) printf("TLS goals: MB/s >= nzbget's over TLS, CPU s per GiB <= 1.3x its own plain\n");
    printf("goals: >= 1.2x MB/s, CPU s per GiB <= nzbget's, peak memory < 64 MiB, temp < 64 MiB\n");
    return 0;
}
