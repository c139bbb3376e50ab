#include "DownloadBenchSupport.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

void writeRandom(const std::string& path, size_t size, unsigned seed) {
    std::mt19937_64 random(seed);
    std::vector<uint64_t> block(1 << 17);
    std::ofstream out(path, std::ios::binary);
    for (size_t done = 0; done < size;) {
        for (uint64_t& word : block)
            word = random();
        size_t n = std::min(size - done, block.size() * sizeof(uint64_t));
        out.write((const char*)block.data(), (std::streamsize)n);
        done += n;
    }
}

} // namespace

bool parseDownloadBenchSettings(int argc, char** argv, DownloadBenchSettings& settings,
                                int maxConnections) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--no-raw") {
            settings.raw = false;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        if (name == "--size")
            settings.sizeMiB = atoll(value);
        else if (name == "--files")
            settings.files = atoi(value);
        else if (name == "--segments-in")
            settings.segmentsIn = value;
        else if (name == "--connections") {
            settings.connections.clear();
            std::stringstream list(value);
            std::string item;
            while (std::getline(list, item, ','))
                settings.connections.push_back(atoi(item.c_str()));
        } else
            return false;
    }
    for (int n : settings.connections)
        if (n < 1 || n > maxConnections) return false;
    return settings.sizeMiB > 0 && settings.files > 0 && !settings.connections.empty();
}

RandomPost makeRandomPost(const std::string& base, const DownloadBenchSettings& settings) {
    auto start = std::chrono::steady_clock::now();
    RandomPost post;
    fs::create_directories(base + "/originals");
    fs::create_directories(base + "/spool");
    size_t fileSize = (size_t)(settings.sizeMiB << 20) / (size_t)settings.files;
    for (int i = 0; i < settings.files; ++i) {
        post.originals.push_back(base + "/originals/part" + std::to_string(i + 1) + ".bin");
        writeRandom(post.originals.back(), fileSize, (unsigned)i + 1);
    }
    post.options.spool = base + "/spool";
    post.options.nzb = base + "/post.nzb";
    for (const PostedFile& file : makePost(post.originals, post.options)) {
        post.dataBytes += (long long)file.size;
        post.articles += (int)file.segments.size();
        for (const PostedSegment& segment : file.segments)
            post.articleBytes += (long long)segment.bytes;
    }
    printf("post: %d files, %.1f MB of data in %d articles of %.1f MB, made in %.1f s\n",
           settings.files, (double)post.dataBytes / 1e6, post.articles,
           (double)post.articleBytes / 1e6,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return post;
}

bool sameContent(const std::string& a, const std::string& b) {
    std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
    std::vector<char> x(1 << 20), y(1 << 20);
    while (left && right) {
        left.read(x.data(), (std::streamsize)x.size());
        right.read(y.data(), (std::streamsize)y.size());
        if (left.gcount() != right.gcount() || memcmp(x.data(), y.data(), left.gcount()) != 0)
            return false;
    }
    return !left && !right;
}

double runRawReader(const PostOptions& post, int port, int connections) {
    std::string program = fs::canonical("/proc/self/exe").parent_path() / "nntp_raw_read_bench";
    std::vector<std::string> arguments = {program,  "--spool", post.spool,
                                          "--nzb",  post.nzb,       "--port",
                                          std::to_string(port), "--runs", "1",
                                          "--connections", std::to_string(connections)};
    std::string line;
    for (const std::string& argument : arguments)
        line += argument + " ";
    printf("raw: %s\n", line.c_str());
    fflush(stdout);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int report[2];
    if (pipe(report) != 0) return 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, report[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, report[0]);
    pid_t pid;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(report[1]);
    if (spawned != 0) {
        close(report[0]);
        printf("raw: cannot start %s\n", program.c_str());
        return 0;
    }
    double speed = 0;
    FILE* lines = fdopen(report[0], "r");
    char text[512];
    while (lines && fgets(text, sizeof text, lines)) {
        fputs(text, stdout);
        if (!strncmp(text, "median: ", 8)) speed = atof(text + 8);
    }
    if (lines) fclose(lines);
    fflush(stdout);
    int status;
    waitpid(pid, &status, 0);
    return speed;
}
