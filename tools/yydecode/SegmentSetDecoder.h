// Decodes a set of saved articles (segment files) into the output folder: yEnc parts
// are placed at their offsets whatever the order of the files, parts of different
// files are grouped by name, and UU articles are joined in segment order. One report
// line per problem and one per file written go to the report stream.
#pragma once

#include "OutputName.h"
#include "YencParts.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class OutputFile;

class SegmentSetDecoder {
  public:
    // `folder` is an open descriptor of the output folder; yEnc articles are decoded on
    // up to `threads` threads. `fallbackName` (a safe name) names a file whose articles
    // give none.
    SegmentSetDecoder(int folder, std::FILE* report, unsigned threads,
                      std::string fallbackName = kFallbackName);
    ~SegmentSetDecoder();

    // Returns how many files were written.
    int decode(const std::vector<std::string>& paths);
    // How many files that `decode` found could not be written (full disk, a name that
    // cannot be created).
    int unwritten() const { return failures; }

  private:
    struct Output {
        std::unique_ptr<OutputFile> file;
        bool failed = false;
        bool uu = false;
        std::uint64_t size = 0;
        int total = 0;
        std::optional<std::uint32_t> fileCrc;
        std::vector<YencPart> parts;
        std::uint64_t uuBytes = 0;
        int uuArticles = 0;
        bool uuEnded = false;
    };
    struct Buffers {
        std::vector<unsigned char> input;
        std::vector<unsigned char> output;
    };

    void yencWorker(const std::vector<std::string>& paths, std::vector<char>& notYenc);
    // False when the article holds no yEnc data at all.
    bool decodeYenc(const std::string& path, Buffers& buffers);
    void decodeUu(const std::vector<std::string>& paths);
    void appendUu(Output& output, const std::string& bytes, const std::string& path);
    // Under `lock`: the output for `name`, created on first use; null when it failed.
    Output* outputFor(const std::string& name);
    int finishAll();
    bool finishYenc(const std::string& name, Output& output);
    // The name a finished file got; a line when it is not `name` (that one was taken).
    const std::string& placedName(const std::string& name, const OutputFile& file);
    void say(const char* format, ...) __attribute__((format(printf, 2, 3)));

    int folder;
    std::FILE* report;
    unsigned threads;
    std::string fallbackName;
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::mutex reportLock;
    std::map<std::string, Output> outputs;
    int failures = 0;
};
