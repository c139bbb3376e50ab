#include "cDirectWriter.h"

#include "OutputFile.h"
#include "OutputName.h"

#include <algorithm>
#include <iterator>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

unsigned long long ull(std::uint64_t value) {
    return static_cast<unsigned long long>(value);
}

bool pwriteAll(int fd, const unsigned char* data, std::size_t size, std::uint64_t offset) {
    while (size > 0) {
        ssize_t written = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

std::string fileLine(const std::string& name, std::uint64_t size, int total,
                     std::optional<std::uint32_t> crc) {
    char line[64];
    snprintf(line, sizeof line, "file %llu %d %s ", ull(size), total,
             crc ? std::to_string(*crc).c_str() : "-");
    return line + name + "\n";
}

// Any article may carry the whole file's CRC; the first one given counts.
std::string partLine(const YencPart& part, std::optional<std::uint32_t> fileCrc) {
    char line[128];
    snprintf(line, sizeof line, "part %llu %llu %u %d %d %s\n", ull(part.begin), ull(part.end),
             part.crc, part.hasCrc ? 1 : 0, part.crcBad ? 1 : 0,
             fileCrc ? std::to_string(*fileCrc).c_str() : "-");
    return line;
}

std::optional<std::uint32_t> crcField(const std::string& text) {
    if (text.empty() || text == "-") return std::nullopt;
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

// A line cut short by a kill is the last one and is skipped.
void readRecord(const std::string& path, std::string& name, std::uint64_t& size, int& total,
                std::optional<std::uint32_t>& crc, std::vector<YencPart>& parts, bool& started) {
    std::ifstream record(path);
    std::string line;
    while (std::getline(record, line)) {
        if (record.eof()) break; // no line end: cut short
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "file") {
            std::string crcText;
            if (!(fields >> size >> total >> crcText)) continue;
            crc = crcField(crcText);
            fields.get();
            std::getline(fields, name);
            started = true;
        } else if (kind == "part") {
            YencPart part;
            int hasCrc = 0;
            int crcBad = 0;
            std::string fileCrc;
            if (!(fields >> part.begin >> part.end >> part.crc >> hasCrc >> crcBad >> fileCrc))
                continue;
            if (!crc) crc = crcField(fileCrc);
            part.hasCrc = hasCrc != 0;
            part.crcBad = crcBad != 0;
            parts.push_back(part);
        }
    }
    // Lines are appended as parts arrive; writes look them up in offset order.
    std::sort(parts.begin(), parts.end(),
              [](const YencPart& a, const YencPart& b) { return a.begin < b.begin; });
}

// Crash tests end the program here, with a part written but its segment not yet booked.
void killPointForTests() {
    static const long killAfter = [] {
        const char* value = std::getenv("CORVANE_TEST_KILL_AFTER_WRITES");
        return value ? std::atol(value) : 0L;
    }();
    static std::atomic<long> writes{0};
    if (killAfter > 0 && ++writes == killAfter) raise(SIGKILL);
}

} // namespace

void cDirectWriter::setfolders(const std::string& temp, const std::string& download) {
    std::lock_guard<std::mutex> guard(lock);
    tempfolder = temp;
    downloadto = download;
}

std::string cDirectWriter::partPath(const tfile& file) const {
    char suffix[32];
    snprintf(suffix, sizeof suffix, ".%x.part", (unsigned)file.fileFID);
    std::string stem = safeOutputName(file.fileName);
    // One file name of at most 255 bytes.
    if (stem.size() + strlen(suffix) > 255) stem.resize(255 - strlen(suffix));
    return downloadto + "/" + stem + suffix;
}

std::string cDirectWriter::recordPath(const tfile& file) const {
    char name[64];
    snprintf(name, sizeof name, "/%x.%x.parts", (unsigned)file.filePID, (unsigned)file.fileFID);
    return tempfolder + name;
}

cDirectWriter::tpartFile& cDirectWriter::entry(const tfile& file) {
    tpartFile& found = files[file.fileFID];
    if (!found.loaded) {
        found.loaded = true;
        readRecord(recordPath(file), found.name, found.size, found.total, found.fileCrc,
                   found.parts, found.started);
    }
    return found;
}

bool cDirectWriter::appendRecord(const std::string& path, const std::string& lines) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    bool written = fd >= 0 && ::write(fd, lines.data(), lines.size()) == (ssize_t)lines.size();
    int error = errno;
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) printf("direct write: record not written: %s %s\n", path.c_str(), strerror(error));
    return written;
}

cDirectWriter::eWrite cDirectWriter::write(const tfile& file, const tsegm& segment,
                                          const std::string& article) {
    std::string problem;
    std::optional<YencArticle> yenc = findYencArticle(article, problem);
    if (!yenc) {
        if (!problem.empty())
            printf("direct write: segment %d: %s; saved as a segment file\n", segment.segmSID,
                   problem.c_str());
        return dwNotHere;
    }
    if (!problem.empty()) printf("direct write: segment %d: %s\n", segment.segmSID, problem.c_str());
    thread_local std::vector<unsigned char> decoded;
    // The database's name is made safe only when the article gives no usable one.
    std::string name = safeOutputName(yenc->name, "");
    if (name.empty()) name = safeOutputName(file.fileName);
    std::vector<std::string> notes;
    const YencPart part =
        decodeYencPart(*yenc, name, "segment " + std::to_string(segment.segmSID), decoded, notes);
    for (const std::string& note : notes)
        printf("%s\n", note.c_str());

    std::string path;
    std::string record;
    {
        std::lock_guard<std::mutex> guard(lock);
        tpartFile& target = entry(file);
        if (target.started && (target.name != name || target.size != yenc->size)) {
            printf("direct write: segment %d is \"%s\" of %llu bytes, the file \"%s\" of %llu; "
                   "saved as a segment file\n",
                   segment.segmSID, name.c_str(), ull(yenc->size), target.name.c_str(),
                   ull(target.size));
            return dwNotHere;
        }
        // Parts are kept in offset order, so only the neighbours can overlap: a file of
        // many thousand parts costs no scan per article.
        std::vector<YencPart>& parts = target.parts;
        auto at = std::lower_bound(parts.begin(), parts.end(), part.begin,
                                   [](const YencPart& seen, std::uint64_t begin) {
                                       return seen.begin < begin;
                                   });
        // The same part again (fetched once more after a restart): its bytes are there.
        if (at != parts.end() && at->begin == part.begin && at->end == part.end &&
            at->crc == part.crc)
            return dwWritten;
        if ((at != parts.end() && at->begin <= part.end) ||
            (at != parts.begin() && std::prev(at)->end >= part.begin)) {
            printf("direct write: segment %d (bytes %llu-%llu) overlaps a part of \"%s\"; "
                   "saved as a segment file\n",
                   segment.segmSID, ull(part.begin), ull(part.end), name.c_str());
            return dwNotHere;
        }
        record = recordPath(file);
        if (!target.started) {
            if (!appendRecord(record, fileLine(name, yenc->size, yenc->total, yenc->fileCrc)))
                return dwWriteFailed;
            target.started = true;
            target.name = name;
            target.size = yenc->size;
            target.fileCrc = yenc->fileCrc;
        }
        target.total = std::max(target.total, yenc->total);
        if (!target.fileCrc) target.fileCrc = yenc->fileCrc;
        parts.insert(at, part);
        path = partPath(file);
    }

    // The file grows only as far as a part reaches: a header's size is only a claim.
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    bool written = fd >= 0 && pwriteAll(fd, decoded.data(), part.end + 1 - part.begin, part.begin - 1);
    int error = errno;
    if (fd >= 0 && ::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) printf("direct write failed: %s %s\n", path.c_str(), strerror(error));
    // One short line with O_APPEND: whole, and in no order that matters; no lock needed.
    if (written && appendRecord(record, partLine(part, yenc->fileCrc))) {
        killPointForTests();
        return dwWritten;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        std::vector<YencPart>& parts = files[file.fileFID].parts;
        for (auto it = parts.begin(); it != parts.end(); ++it)
            if (it->begin == part.begin && it->end == part.end) {
                parts.erase(it);
                break;
            }
    }
    return dwWriteFailed;
}

int cDirectWriter::finish(const tfile& file, std::string* path) {
    tpartFile done;
    std::string part;
    std::string record;
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(lock);
        done = std::move(entry(file));
        files.erase(file.fileFID);
        if (!done.started) return 1;
        part = partPath(file);
        record = recordPath(file);
        folder = downloadto;
    }
    printf("finish: %s\n", part.c_str());
    YencFileSummary summary =
        summarizeYencFile(done.name, done.parts, done.size, done.total, done.fileCrc);
    for (const std::string& note : summary.notes)
        printf("%s\n", note.c_str());
    std::string placed;
    std::string error;
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool finished = truncate(part.c_str(), static_cast<off_t>(summary.length)) == 0 && dir >= 0;
    if (!finished) error = strerror(errno);
    finished = finished && renameToFreeName(dir, part.substr(folder.size() + 1), done.name, placed,
                                            error);
    if (dir >= 0) close(dir);
    if (!finished) {
        printf("\"%s\": %s: %s\n", done.name.c_str(), part.c_str(), error.c_str());
        if (path) *path = part;
        return -1;
    }
    if (path) *path = folder + "/" + placed;
    if (placed != done.name)
        printf("\"%s\" exists and is kept; written as \"%s\"\n", done.name.c_str(), placed.c_str());
    printf("%s\n", yencFileLine(placed, summary, done.parts.size()).c_str());
    unlink(record.c_str());
    return 0;
}

void cDirectWriter::discard(const tfile& file) {
    std::lock_guard<std::mutex> guard(lock);
    // Without a record the name may be a finished file's or another program's.
    if (entry(file).started) {
        const std::string part = partPath(file);
        if (unlink(part.c_str()) == 0) printf("remove: %s \n", part.c_str());
        unlink(recordPath(file).c_str());
    }
    files.erase(file.fileFID);
}
