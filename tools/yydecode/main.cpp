// yydecode: decodes saved yEnc and UU articles into a folder. See README.md.
#include "OutputName.h"
#include "SegmentPaths.h"
#include "SegmentSetDecoder.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr unsigned kMaxThreads = 4;

void usage() {
    std::fprintf(stderr, "usage: yydecode [-e] [-c] [-l] [-b] [-n NAME] -D FOLDER PATTERN|FILE...\n");
}

} // namespace

int main(int argc, char** argv) {
    // A write past a file size limit fails with EFBIG and is reported like a full disk,
    // instead of ending the program.
    signal(SIGXFSZ, SIG_IGN);
    std::string folder = ".";
    std::string fallbackName = kFallbackName;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word == "-D") {
            if (i + 1 >= argc) {
                usage();
                return 2;
            }
            folder = argv[++i];
        } else if (word == "-n") {
            if (i + 1 >= argc) {
                usage();
                return 2;
            }
            fallbackName = safeOutputName(argv[++i]);
        } else if (word == "-l") {
            // Decoding must not slow the downloads down.
            setpriority(PRIO_PROCESS, 0, 19);
        } else if (word == "-e" || word == "-c" || word == "-b") {
            // Always on: every article is decoded, every CRC checked, output is binary.
        } else if (word == "--") {
            for (++i; i < argc; ++i)
                arguments.emplace_back(argv[i]);
        } else if (word.size() > 1 && word[0] == '-') {
            std::fprintf(stderr, "yydecode: unknown option %s\n", word.c_str());
            usage();
            return 2;
        } else {
            arguments.push_back(word);
        }
    }
    if (arguments.empty()) {
        usage();
        return 2;
    }
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0 && errno == ENOENT && mkdir(folder.c_str(), 0755) == 0)
        folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        std::printf("cannot open the output folder %s: %s\n", folder.c_str(), std::strerror(errno));
        return 2;
    }
    std::vector<std::string> unmatched;
    std::vector<std::string> paths = expandSegmentArguments(arguments, unmatched);
    for (const std::string& pattern : unmatched)
        std::printf("no files match %s\n", pattern.c_str());
    unsigned threads = std::min(kMaxThreads, std::max(1u, std::thread::hardware_concurrency()));
    SegmentSetDecoder decoder(folderFd, stdout, threads, fallbackName);
    int written = decoder.decode(paths);
    close(folderFd);
    if (written == 0) {
        std::printf("nothing decoded\n");
        return 1;
    }
    // The client deletes the segment files only after success: they must stay while a
    // file of theirs is missing.
    if (decoder.unwritten() > 0) {
        std::printf("%d files not written\n", decoder.unwritten());
        return 1;
    }
    return 0;
}
