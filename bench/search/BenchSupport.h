// What the search benchmarks share: a fresh working folder, silencing the diagnostic
// lines the search core prints on standard output while a run is timed, the median of
// repeated runs and the peak resident memory.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace bench {

class WorkFolder {
  public:
    WorkFolder() {
        char pattern[] = "/tmp/miravel_bench_XXXXXX";
        if (mkdtemp(pattern)) path = pattern;
        std::filesystem::create_directories(path + "/cfg");
        std::filesystem::create_directories(path + "/tmp");
        std::filesystem::current_path(path);
    }
    ~WorkFolder() {
        std::filesystem::current_path("/");
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

// Standard output goes to /dev/null while an object lives.
class QuietStdout {
  public:
    QuietStdout() {
        fflush(stdout);
        saved = dup(1);
        int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout() {
        fflush(stdout);
        dup2(saved, 1);
        ::close(saved);
    }

  private:
    int saved;
};

// Runs `body` `runs` times and returns the median wall time in milliseconds.
template <typename Body> double medianMs(int runs, Body body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QuietStdout quiet;
        auto start = std::chrono::steady_clock::now();
        body();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace bench
