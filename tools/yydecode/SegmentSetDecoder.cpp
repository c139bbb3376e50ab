#include "SegmentSetDecoder.h"

#include "OutputFile.h"
#include "OutputName.h"
#include "UuDecoder.h"
#include "YencArticle.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Saved articles are a few hundred kilobytes; anything past this is not one.
constexpr std::uint64_t kMaxSegmentFile = std::uint64_t(1) << 30;

bool readWhole(const std::string& path, std::vector<unsigned char>& buffer, std::size_t& size,
               std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxSegmentFile) {
        error = "not a segment file";
        close(fd);
        return false;
    }
    std::size_t expected = static_cast<std::size_t>(info.st_size);
    if (buffer.size() < expected + 1) buffer.resize(expected + 1);
    size = 0;
    // The file may still grow or shrink while read: stop at its end or at the buffer's.
    while (size < buffer.size()) {
        ssize_t got = read(fd, buffer.data() + size, buffer.size() - size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::strerror(errno);
            close(fd);
            return false;
        }
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    close(fd);
    return true;
}

unsigned long long ull(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

} // namespace

SegmentSetDecoder::SegmentSetDecoder(int folder, std::FILE* report, unsigned threads,
                                     std::string fallbackName)
    : folder(folder), report(report), threads(std::max(1u, threads)),
      fallbackName(std::move(fallbackName)) {}

SegmentSetDecoder::~SegmentSetDecoder() = default;

void SegmentSetDecoder::say(const char* format, ...) {
    std::lock_guard<std::mutex> guard(reportLock);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(report, format, arguments);
    va_end(arguments);
    std::fputc('\n', report);
}

int SegmentSetDecoder::decode(const std::vector<std::string>& paths) {
    std::vector<char> notYenc(paths.size(), 0);
    next = 0;
    unsigned count = static_cast<unsigned>(std::min<std::size_t>(threads, paths.size()));
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < count; ++i)
        workers.emplace_back([&] { yencWorker(paths, notYenc); });
    yencWorker(paths, notYenc);
    for (std::thread& worker : workers)
        worker.join();
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (notYenc[i]) rest.push_back(paths[i]);
    decodeUu(rest);
    return finishAll();
}

void SegmentSetDecoder::yencWorker(const std::vector<std::string>& paths,
                                   std::vector<char>& notYenc) {
    Buffers buffers;
    for (std::size_t i = next++; i < paths.size(); i = next++)
        if (!decodeYenc(paths[i], buffers)) notYenc[i] = 1;
}

SegmentSetDecoder::Output* SegmentSetDecoder::outputFor(const std::string& name) {
    Output& output = outputs[name];
    if (!output.file && !output.failed) {
        std::string error;
        output.file = OutputFile::create(folder, name, error);
        if (!output.file) {
            output.failed = true;
            say("\"%s\": %s", name.c_str(), error.c_str());
        }
    }
    return output.failed ? nullptr : &output;
}

bool SegmentSetDecoder::decodeYenc(const std::string& path, Buffers& buffers) {
    std::size_t size = 0;
    std::string error;
    if (!readWhole(path, buffers.input, size, error)) {
        say("%s: cannot read: %s", path.c_str(), error.c_str());
        return true;
    }
    std::string_view data(reinterpret_cast<const char*>(buffers.input.data()), size);
    std::optional<YencArticle> article = findYencArticle(data, error);
    if (!article) {
        if (error.empty()) return false;
        say("%s: %s", path.c_str(), error.c_str());
        return true;
    }
    if (!error.empty()) say("%s: %s", path.c_str(), error.c_str());
    const std::string name = safeOutputName(article->name, fallbackName);
    const int number = article->part > 0 ? article->part : 1;
    std::vector<std::string> notes;
    const YencPart part = decodeYencPart(*article, name, path, buffers.output, notes);
    for (const std::string& note : notes)
        say("%s", note.c_str());
    const std::size_t decoded = static_cast<std::size_t>(part.end + 1 - part.begin);
    OutputFile* file = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        Output* output = outputFor(name);
        if (!output) return true;
        if (output->uu) {
            say("%s: \"%s\" is also a UU file here; part skipped", path.c_str(), name.c_str());
            return true;
        }
        if (!output->parts.empty() && output->size != article->size) {
            say("%s: \"%s\" has size %llu here, %llu before; part skipped", path.c_str(),
                name.c_str(), ull(article->size), ull(output->size));
            return true;
        }
        for (const YencPart& seen : output->parts)
            if (seen.begin == part.begin) {
                say("%s: \"%s\" part %d twice; the second is skipped", path.c_str(), name.c_str(),
                    number);
                return true;
            }
        output->size = article->size;
        output->total = std::max(output->total, article->total);
        if (!output->fileCrc) output->fileCrc = article->fileCrc;
        output->parts.push_back(part);
        file = output->file.get();
    }
    if (!file->writeAt(buffers.output.data(), decoded, part.begin - 1, error)) {
        say("\"%s\": %s", name.c_str(), error.c_str());
        std::lock_guard<std::mutex> guard(lock);
        outputs[name].failed = true;
    }
    return true;
}

void SegmentSetDecoder::decodeUu(const std::vector<std::string>& paths) {
    std::vector<unsigned char> buffer;
    Output* current = nullptr;
    std::string currentName;
    for (const std::string& path : paths) {
        std::size_t size = 0;
        std::string error;
        if (!readWhole(path, buffer, size, error)) {
            say("%s: cannot read: %s", path.c_str(), error.c_str());
            continue;
        }
        std::string_view data(reinterpret_cast<const char*>(buffer.data()), size);
        std::size_t bodyStart = 0;
        std::string name = findUuBegin(data, bodyStart);
        if (name.empty() && !current) {
            say("%s: no yEnc or UU data", path.c_str());
            continue;
        }
        if (!name.empty()) {
            currentName = safeOutputName(name, fallbackName);
            std::lock_guard<std::mutex> guard(lock);
            current = outputFor(currentName);
            if (current && (!current->parts.empty() || current->uuArticles > 0)) {
                say("%s: \"%s\" was decoded before; UU data skipped", path.c_str(),
                    currentName.c_str());
                current = nullptr;
                continue;
            }
            if (current) current->uu = true;
        } else {
            bodyStart = uuContinuationStart(data);
        }
        if (!current) continue;
        std::string bytes;
        current->uuEnded = decodeUuLines(data, bodyStart, bytes);
        ++current->uuArticles;
        appendUu(*current, bytes, path);
        if (current->uuEnded) current = nullptr;
    }
}

void SegmentSetDecoder::appendUu(Output& output, const std::string& bytes,
                                 const std::string& path) {
    std::string error;
    if (output.failed) return;
    if (!output.file->writeAt(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                              output.uuBytes, error)) {
        say("%s: %s", path.c_str(), error.c_str());
        output.failed = true;
        return;
    }
    output.uuBytes += bytes.size();
}

const std::string& SegmentSetDecoder::placedName(const std::string& name, const OutputFile& file) {
    const std::string& placed = file.placedName();
    if (placed != name)
        say("\"%s\" exists and is kept; written as \"%s\"", name.c_str(), placed.c_str());
    return placed;
}

bool SegmentSetDecoder::finishYenc(const std::string& name, Output& output) {
    YencFileSummary summary =
        summarizeYencFile(name, output.parts, output.size, output.total, output.fileCrc);
    for (const std::string& note : summary.notes)
        say("%s", note.c_str());
    std::string error;
    if (!output.file->finish(summary.length, error)) {
        say("\"%s\": %s", name.c_str(), error.c_str());
        return false;
    }
    const std::string& placed = placedName(name, *output.file);
    say("%s", yencFileLine(placed, summary, output.parts.size()).c_str());
    return true;
}

int SegmentSetDecoder::finishAll() {
    int written = 0;
    failures = 0;
    for (auto& [name, output] : outputs) {
        if (output.failed) {
            if (output.file) say("\"%s\": not written", name.c_str());
            output.file.reset();
            ++failures;
            continue;
        }
        if (!output.uu) {
            bool finished = finishYenc(name, output);
            written += finished ? 1 : 0;
            failures += finished ? 0 : 1;
            continue;
        }
        std::string error;
        if (!output.file->finish(UINT64_MAX, error)) {
            say("\"%s\": %s", name.c_str(), error.c_str());
            ++failures;
            continue;
        }
        const std::string& placed = placedName(name, *output.file);
        say("\"%s\" %llu bytes, %s, uu, no crc%s", placed.c_str(), ull(output.uuBytes),
            partCount(static_cast<std::size_t>(output.uuArticles)).c_str(),
            output.uuEnded ? "" : ", incomplete");
        ++written;
    }
    std::fflush(report);
    return written;
}
