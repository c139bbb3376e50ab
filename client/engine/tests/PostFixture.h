// Helpers for tests that download real posts from the test news server: random files
// to post, and reading the server's command log.
#pragma once
#include "TestFolders.h"
#include "YencPostWriter.h"

#include <filesystem>
#include <random>
#include <string>

// Writes `size` random bytes (the same for the same seed) to `path`.
inline void writeRandomFile(const std::string& path, size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char& byte : data)
        byte = (char)(random() & 0xff);
    writeFile(path, data);
}

// Posts one file `name` of `size` random bytes in articles of `partSize` bytes: the
// articles into ./spool, the NZB as ./post.nzb.
inline PostedFile postRandomFile(const std::string& name, size_t size, size_t partSize,
                                 unsigned seed) {
    std::filesystem::create_directories("spool");
    writeRandomFile(name, size, seed);
    PostOptions options;
    options.spool = "spool";
    options.nzb = "post.nzb";
    options.partSize = partSize;
    return makePost({name}, options).at(0);
}

// How many lines of the server's command log contain `text`.
inline int logLines(const std::string& log, const std::string& text) {
    std::string all = readFile(log);
    int count = 0;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        if (all.substr(start, end - start).find(text) != std::string::npos) ++count;
        start = end + 1;
    }
    return count;
}
