// Decoding speed: a 256 MiB random-data post as the download client saves it (one
// segment file per article: header, yEnc body, end line), decoded by the yydecode
// program as a child process, then the decoding loop alone in-process.
#include "YencArticle.h"
#include "YencBodyDecoder.h"
#include "YencPostWriter.h"
#include "crc32Of.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

extern char** environ;

namespace {

constexpr std::size_t kPostSize = std::size_t(256) << 20;
constexpr int kRuns = 5;

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double mbPerSecond(std::size_t bytes, double time) {
    return bytes / 1e6 / time;
}

void writeRandomFile(const std::string& path, std::size_t size) {
    std::vector<std::uint64_t> block(1 << 17);
    std::uint64_t state = 0x9e3779b97f4a7c15ull;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < size; done += block.size() * 8) {
        for (std::uint64_t& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(std::min(size - done, block.size() * 8)));
    }
}

// Runs yydecode on the pattern; true when it reported the file decoded with its CRC.
// `cpu` receives the child's user and system time: on a shared machine the wall time
// says more about the neighbours than about the decoder.
bool runYydecode(const std::string& folder, const std::string& pattern, const std::string& log,
                 double& cpu) {
    std::string program = std::string(CORV_BIN_DIR) + "/yydecode";
    std::vector<std::string> words = {program, "-e", "-c", "-l", "-b", "-D", folder, pattern};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return false;
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
          (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::ifstream in(log);
    std::string line;
    std::getline(in, line);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           line.find("crc ok") != std::string::npos && line.find("incomplete") == std::string::npos;
}

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <typename Decode>
double decodeLoop(const std::vector<std::string>& articles, std::vector<unsigned char>& out,
                  Decode decode) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        std::string problem;
        for (const std::string& article : articles) {
            auto found = findYencArticle(article, problem);
            decode(reinterpret_cast<const unsigned char*>(found->body.data()), found->body.size(),
                   out.data());
        }
        times.push_back(seconds(start));
    }
    return median(times);
}

template <typename Crc> double crcLoop(const std::vector<std::string>& articles, Crc crc) {
    std::vector<double> times;
    std::uint32_t mixed = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto start = Clock::now();
        for (const std::string& article : articles)
            mixed ^= crc(article);
        times.push_back(seconds(start));
    }
    if (mixed == 1) std::printf(" "); // keeps the loop from being optimised away
    return median(times);
}

} // namespace

int main() {
    char pattern[] = "/tmp/yydecode_bench_XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const std::string root = pattern;
    for (const char* folder : {"/spool", "/segments", "/out"})
        std::filesystem::create_directory(root + folder);

    writeRandomFile(root + "/random.bin", kPostSize);
    PostOptions options;
    options.spool = root + "/spool";
    auto start = Clock::now();
    std::vector<PostedFile> posted = makePost({root + "/random.bin"}, options);
    double postTime = seconds(start);
    std::vector<std::string> paths =
        saveAsSegmentFiles(posted[0], options.spool, root + "/segments", 1, 1);
    std::filesystem::remove_all(root + "/spool");
    std::filesystem::remove(root + "/random.bin");
    std::printf("post: %zu MiB in %zu articles, made in %.2f s (%.0f MB/s)\n", kPostSize >> 20,
                paths.size(), postTime, mbPerSecond(kPostSize, postTime));

    std::vector<double> times;
    std::vector<double> cpuTimes;
    bool allOk = true;
    for (int run = 0; run < kRuns; ++run) {
        double cpu = 0;
        start = Clock::now();
        allOk =
            runYydecode(root + "/out", root + "/segments/1.1.*.segm", root + "/log", cpu) && allOk;
        times.push_back(seconds(start));
        cpuTimes.push_back(cpu);
    }
    double childTime = median(times);
    double childCpu = median(cpuTimes);
    std::printf("yydecode (child process, median of %d): %.3f s, %.0f MB/s of output; "
                "cpu %.3f s, %.0f MB/s per cpu second%s\n",
                kRuns, childTime, mbPerSecond(kPostSize, childTime), childCpu,
                mbPerSecond(kPostSize, childCpu), allOk ? "" : "  [DECODE FAILED]");

    std::vector<std::string> articles;
    for (const std::string& path : paths)
        articles.push_back(readAll(path));
    std::vector<unsigned char> out(options.partSize * 2 + kDecodeSlack);
    std::printf("in-process decode loop (median of %d):\n", kRuns);
    std::printf("  avx2:   %.0f MB/s%s\n",
                hasAvx2() ? mbPerSecond(kPostSize, decodeLoop(articles, out, decodeYencBodyAvx2))
                          : 0.0,
                hasAvx2() ? "" : " (no AVX2 here)");
    std::printf("  ssse3:  %.0f MB/s%s\n",
                hasSsse3() ? mbPerSecond(kPostSize, decodeLoop(articles, out, decodeYencBodySsse3))
                           : 0.0,
                hasSsse3() ? "" : " (no SSSE3 here)");
    std::printf("  sse2:   %.0f MB/s\n",
                mbPerSecond(kPostSize, decodeLoop(articles, out, decodeYencBodySse2)));
    std::printf("  scalar: %.0f MB/s\n",
                mbPerSecond(kPostSize, decodeLoop(articles, out, decodeYencBodyScalar)));
    std::printf(
        "  crc32 over the articles: zlib %.0f MB/s, crc32Of %.0f MB/s\n",
        mbPerSecond(kPostSize, crcLoop(articles,
                                       [](const std::string& article) {
                                           return static_cast<std::uint32_t>(crc32(
                                               0L, reinterpret_cast<const Bytef*>(article.data()),
                                               static_cast<uInt>(article.size())));
                                       })),
        mbPerSecond(kPostSize, crcLoop(articles, [](const std::string& article) {
                        return crc32Of(reinterpret_cast<const unsigned char*>(article.data()),
                                       article.size());
                    })));
    std::filesystem::remove_all(root);
    return allOk ? 0 : 1;
}
