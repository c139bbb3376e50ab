// An NZB of 100,000 segments sent to the running corvane program as a control message
// "<path>": the time from sending until the queue has reloaded after the import (its log
// line "loaded 100 files"). Each repetition uses a fresh program folder, so every import
// meets an empty database.
//
//   import_socket_bench [--files N] [--segments N] [--runs N]
//
// Prints each run and the median, and corvane's peak resident memory after the import.
#include "CorvaneInstance.h"
#include "NzbWriter.h"
#include "ProcessUsage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

struct Settings {
    int files = 100;
    int segments = 1000; // per file
    int runs = 5;
};

bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string name = argv[i];
        int value = atoi(argv[i + 1]);
        if (name == "--files")
            settings.files = value;
        else if (name == "--segments")
            settings.segments = value;
        else if (name == "--runs")
            settings.runs = value;
        else
            return false;
    }
    return argc % 2 == 1 && settings.files > 0 && settings.segments > 0 && settings.runs > 0;
}

// A post that was never made: only its NZB is needed, the articles are never fetched.
std::vector<PostedFile> listedPost(const Settings& settings) {
    std::vector<PostedFile> files(settings.files);
    for (int f = 0; f < settings.files; ++f) {
        PostedFile& file = files[f];
        file.name = "volume" + std::to_string(f + 1) + ".bin";
        file.subject = "import bench [" + std::to_string(f + 1) + "/" +
                       std::to_string(settings.files) + "] - \"" + file.name + "\" yEnc";
        file.date = 1765000000;
        for (int s = 1; s <= settings.segments; ++s) {
            PostedSegment segment;
            segment.number = s;
            segment.messageId = "part" + std::to_string(s) + "of" +
                                std::to_string(settings.segments) + "." +
                                std::to_string(f + 1) + "@importbench.invalid";
            segment.begin = (std::uint64_t)(s - 1) * 384000 + 1;
            segment.end = (std::uint64_t)s * 384000;
            segment.bytes = 394000;
            file.segments.push_back(segment);
        }
        file.size = (std::uint64_t)settings.segments * 384000;
    }
    return files;
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The model's own account of the import: "delays quillmap=.. load2db=.. >> .." (ms).
std::string delaysLine(const std::string& log) {
    size_t at = log.find("delays ");
    if (at == std::string::npos) return "no delays line";
    size_t end = log.find_first_of("\r\n", at);
    return log.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

// One import in a fresh program folder: seconds from sending the path to the reload's
// log line, or -1. `peakKiB` receives corvane's peak memory, `delays` its delays line.
double importRun(const std::vector<PostedFile>& post, const Settings& settings, long& peakKiB,
                 std::string& delays) {
    CorvaneInstance corvane("corvane_import_bench");
    corvane.configure("DEFAULT", "autoloadGUI", "0");
    std::string nzb = corvane.home() + "/big.nzb";
    writeNzb(nzb, post, PostOptions());
    // The start's own update check arrives as a message too; the import is timed after it.
    if (!corvane.start() || !corvane.waitForLog("\rh \r", 30)) return -1;
    std::string loaded = "loaded " + std::to_string(settings.files) + " files";
    size_t before = occurrences(corvane.log(), loaded);
    auto start = Clock::now();
    if (!corvane.sendRaw(nzb)) return -1;
    while (occurrences(corvane.log(), loaded) == before) {
        if (Clock::now() - start > std::chrono::seconds(300)) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    peakKiB = processUsage(corvane.processId()).peakKiB;
    delays = delaysLine(corvane.log());
    corvane.message({"x"});
    corvane.waitExit(60);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parse(argc, argv, settings)) {
        fprintf(stderr, "usage: import_socket_bench [--files N] [--segments N] [--runs N]\n");
        return 2;
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<PostedFile> post = listedPost(settings);
    std::vector<double> times;
    for (int run = 1; run <= settings.runs; ++run) {
        long peakKiB = -1;
        std::string delays;
        double seconds = importRun(post, settings, peakKiB, delays);
        if (seconds < 0) {
            fprintf(stderr, "run %d: the import was not logged\n", run);
            return 1;
        }
        printf("run %d: %d files, %d segments imported and reloaded in %.3f s; corvane peak "
               "memory %.1f MiB; %s\n",
               run, settings.files, settings.files * settings.segments, seconds,
               peakKiB / 1024.0, delays.c_str());
        times.push_back(seconds);
    }
    std::sort(times.begin(), times.end());
    printf("median: %.3f s for %d segments\n", times[times.size() / 2],
           settings.files * settings.segments);
    return 0;
}
