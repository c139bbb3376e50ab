#include "SegmentSetDecoder.h"

#include "OutputFile.h"
#include "OutputName.h"
#include "UuDecoder.h"
#include "YencArticle.h"
#include "YencBodyDecoder.h"
#include "crc32Of.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

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

SegmentSetDecoder::SegmentSetDecoder(int folder, std::FILE* report, unsigned threads)
    : folder(folder), report(report), threads(std::max(1u, threads)) {}

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
    const std::string_view body = article->body;
    if (buffers.output.size() < body.size() + kDecodeSlack)
        buffers.output.resize(body.size() + kDecodeSlack);
    std::size_t decoded = decodeYencBody(reinterpret_cast<const unsigned char*>(body.data()),
                                         body.size(), buffers.output.data());
    const std::uint64_t expected = article->end + 1 - article->begin;
    const std::string name = safeOutputName(article->name);
    const int number = article->part > 0 ? article->part : 1;
    if (decoded != expected || (article->partSize && *article->partSize != expected))
        say("\"%s\" part %d: %llu bytes decoded, %llu expected (%s)", name.c_str(), number,
            ull(decoded), ull(expected), path.c_str());
    if (decoded > expected) decoded = static_cast<std::size_t>(expected);
    Part part;
    part.begin = article->begin;
    part.end = article->begin + decoded - 1;
    part.crc = crc32Of(buffers.output.data(), decoded);
    part.hasCrc = article->partCrc.has_value();
    part.crcBad = part.hasCrc && (*article->partCrc != part.crc || decoded != expected);
    if (part.hasCrc && *article->partCrc != part.crc)
        say("\"%s\" part %d: crc error, pcrc32 %08x, decoded %08x (%s)", name.c_str(), number,
            *article->partCrc, part.crc, path.c_str());
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
        for (const Part& seen : output->parts)
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
            currentName = safeOutputName(name);
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

bool SegmentSetDecoder::finishYenc(const std::string& name, Output& output) {
    std::sort(output.parts.begin(), output.parts.end(),
              [](const Part& a, const Part& b) { return a.begin < b.begin; });
    // Walk the parts in offset order: the whole file's CRC is the parts' CRCs combined,
    // as long as they join up without gap or overlap.
    std::uint64_t covered = 0; // bytes 1..covered are present
    std::uint64_t missing = 0;
    bool joined = true;
    bool bad = false;
    bool allCrcs = true;
    uLong crc = crc32(0L, Z_NULL, 0);
    for (const Part& part : output.parts) {
        bad = bad || part.crcBad;
        allCrcs = allCrcs && part.hasCrc;
        std::uint64_t length = part.end + 1 - part.begin;
        if (part.begin != covered + 1) {
            joined = false;
            if (part.begin > covered + 1) missing += part.begin - covered - 1;
        }
        if (joined) crc = crc32_combine(crc, part.crc, static_cast<z_off_t>(length));
        covered = std::max(covered, part.end);
    }
    if (covered < output.size) missing += output.size - covered;
    const char* status = "no crc";
    bool complete = joined && missing == 0;
    if (complete && output.fileCrc && *output.fileCrc != crc) {
        say("\"%s\": crc error, crc32 %08x, decoded %08x", name.c_str(), *output.fileCrc,
            static_cast<std::uint32_t>(crc));
        bad = true;
    }
    if (bad)
        status = "crc error";
    else if ((complete && output.fileCrc) || allCrcs)
        status = "crc ok";
    if (missing > 0 || (output.total > 0 && static_cast<int>(output.parts.size()) < output.total))
        say("\"%s\": incomplete, %zu of %d parts, %llu bytes missing", name.c_str(),
            output.parts.size(), output.total, ull(missing));
    std::string error;
    if (!output.file->finish(output.size, error)) {
        say("\"%s\": %s", name.c_str(), error.c_str());
        return false;
    }
    say("\"%s\" %llu bytes, %zu parts, %s%s", name.c_str(), ull(output.size), output.parts.size(),
        status, complete ? "" : ", incomplete");
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
        say("\"%s\" %llu bytes, %d parts, uu, no crc%s", name.c_str(), ull(output.uuBytes),
            output.uuArticles, output.uuEnded ? "" : ", incomplete");
        ++written;
    }
    std::fflush(report);
    return written;
}
