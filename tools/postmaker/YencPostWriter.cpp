#include "YencPostWriter.h"

#include "NzbWriter.h"
#include "YencEncoder.h"
#include "crc32Of.h"
#include "writeAll.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A read-only view of a whole input file.
class MappedFile {
  public:
    explicit MappedFile(const std::string& path) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw std::runtime_error(systemError("cannot open " + path));
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd);
            throw std::runtime_error("not a regular file: " + path);
        }
        size = static_cast<std::size_t>(info.st_size);
        if (size > 0) {
            void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (mapped == MAP_FAILED) {
                close(fd);
                throw std::runtime_error(systemError("cannot map " + path));
            }
            madvise(mapped, size, MADV_SEQUENTIAL);
            data = static_cast<const unsigned char*>(mapped);
        }
        close(fd);
    }
    ~MappedFile() {
        if (data) munmap(const_cast<unsigned char*>(data), size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// The name as posted: no folder, no control characters (they would break the header
// lines and the yEnc name line).
std::string postedName(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    return name;
}

std::string randomToken() {
    std::random_device source;
    std::mt19937_64 generator((static_cast<std::uint64_t>(source()) << 32) ^ source() ^
                              static_cast<std::uint64_t>(getpid()));
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

bool validDomain(const std::string& domain) {
    if (domain.empty() || domain.front() == '.') return false;
    for (char c : domain)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_'))
            return false;
    return true;
}

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

} // namespace

YencPostWriter::YencPostWriter(PostOptions givenOptions) : options(std::move(givenOptions)) {
    struct stat info {};
    if (stat(options.spool.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw std::runtime_error("no spool folder: " + options.spool);
    if (options.partSize == 0) throw std::runtime_error("the part size must be at least 1");
    if (options.lineLength < 2 || options.lineLength > 997)
        throw std::runtime_error("the line length must be between 2 and 997");
    if (!validDomain(options.idDomain))
        throw std::runtime_error("bad message id domain: " + options.idDomain);
    options.poster = oneLine(options.poster);
    options.group = oneLine(options.group);
    options.subject = oneLine(options.subject);
    for (char& c : options.subject)
        if (c == '"') c = '\''; // the quotes around the file name must stay the only ones
    token = randomToken();
    now = static_cast<std::int64_t>(std::time(nullptr));
    std::time_t seconds = static_cast<std::time_t>(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char date[64];
    std::snprintf(date, sizeof date, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[utc.tm_wday],
                  utc.tm_mday, kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    dateHeader = date;
}

std::string YencPostWriter::subjectFor(const std::string& name, int index, int count) const {
    std::string subject = options.subject;
    if (!subject.empty()) subject += ' ';
    if (count > 1) subject += "[" + std::to_string(index) + "/" + std::to_string(count) + "] - ";
    std::string quoted = name;
    for (char& c : quoted)
        if (c == '"') c = '\'';
    return subject + "\"" + quoted + "\" yEnc ";
}

PostedFile YencPostWriter::post(const std::string& path, int index, int count) {
    MappedFile input(path);
    PostedFile file;
    file.name = postedName(path);
    file.size = input.size;
    file.date = now;
    std::string head = subjectFor(file.name, index, count);
    std::size_t total =
        input.size == 0 ? 1 : (input.size + options.partSize - 1) / options.partSize;
    file.subject = head + "(1/" + std::to_string(total) + ")";
    // The whole file's CRC goes on every part, so all part CRCs come first; combined
    // they give the whole one without a second pass over the data.
    uLong whole = crc32(0L, Z_NULL, 0);
    for (std::size_t part = 0; part < total; ++part) {
        PostedSegment segment;
        segment.number = static_cast<int>(part + 1);
        segment.begin = part * options.partSize + 1;
        segment.end = std::min<std::uint64_t>(input.size, (part + 1) * options.partSize);
        segment.messageId = "part" + std::to_string(part + 1) + "of" + std::to_string(total) + "." +
                            token + "." + std::to_string(index) + "@" + options.idDomain;
        std::size_t length = segment.end + 1 - segment.begin;
        segment.crc32 = crc32Of(input.data ? input.data + segment.begin - 1 : nullptr, length);
        whole = crc32_combine(whole, segment.crc32, static_cast<z_off_t>(length));
        file.segments.push_back(std::move(segment));
    }
    file.crc32 = static_cast<std::uint32_t>(whole);
    for (PostedSegment& segment : file.segments) {
        std::string article = articleFor(file, segment, static_cast<int>(total), input.data);
        store(segment.messageId, article);
        segment.bytes = article.size();
    }
    return file;
}

std::string YencPostWriter::articleFor(const PostedFile& file, const PostedSegment& segment,
                                       int total, const unsigned char* data) const {
    std::string article;
    std::uint64_t partSize = segment.end + 1 - segment.begin;
    article.reserve(partSize + partSize / 16 + 1024);
    article += "From: " + options.poster + "\r\n";
    article += "Newsgroups: " + options.group + "\r\n";
    std::string subject = file.subject.substr(0, file.subject.rfind('(')) + "(" +
                          std::to_string(segment.number) + "/" + std::to_string(total) + ")";
    article += "Subject: " + subject + "\r\n";
    article += "Message-ID: <" + segment.messageId + ">\r\n";
    article += "Date: " + dateHeader + "\r\n";
    article += "\r\n";
    article += "=ybegin part=" + std::to_string(segment.number) +
               " total=" + std::to_string(total) + " line=" + std::to_string(options.lineLength) +
               " size=" + std::to_string(file.size) + " name=" + file.name + "\r\n";
    article += "=ypart begin=" + std::to_string(segment.begin) +
               " end=" + std::to_string(segment.end) + "\r\n";
    const unsigned char* partData = data ? data + segment.begin - 1 : nullptr;
    encodeYencLines(partData, partSize, options.lineLength, article);
    char tail[128];
    std::snprintf(tail, sizeof tail, "=yend size=%llu part=%d pcrc32=%08x crc32=%08x\r\n",
                  static_cast<unsigned long long>(partSize), segment.number, segment.crc32,
                  file.crc32);
    article += tail;
    return article;
}

void YencPostWriter::store(const std::string& messageId, const std::string& article) const {
    std::string path = options.spool + "/" + messageId;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error(systemError("cannot create " + path));
    int error = writeAll(fd, article.data(), article.size());
    if (close(fd) != 0 && !error) error = errno;
    if (error) {
        errno = error;
        std::string message = systemError("cannot write " + path);
        unlink(path.c_str());
        throw std::runtime_error(message);
    }
}

std::vector<PostedFile> makePost(const std::vector<std::string>& files,
                                 const PostOptions& options) {
    YencPostWriter writer(options);
    std::vector<PostedFile> posted;
    int count = static_cast<int>(files.size());
    for (int i = 0; i < count; ++i)
        posted.push_back(writer.post(files[i], i + 1, count));
    if (!options.nzb.empty()) writeNzb(options.nzb, posted, options);
    return posted;
}

std::vector<std::string> saveAsSegmentFiles(const PostedFile& file, const std::string& spool,
                                            const std::string& folder, unsigned postId,
                                            unsigned fileId) {
    std::vector<std::string> paths;
    for (const PostedSegment& segment : file.segments) {
        char name[64];
        std::snprintf(name, sizeof name, "/%x.%x.%x.segm", postId, fileId,
                      static_cast<unsigned>(segment.number));
        std::string article;
        {
            MappedFile source(spool + "/" + segment.messageId);
            article.assign(reinterpret_cast<const char*>(source.data), source.size);
        }
        article += ".\r\n";
        std::string path = folder + name;
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) throw std::runtime_error(systemError("cannot create " + path));
        bool whole = std::fwrite(article.data(), 1, article.size(), out) == article.size();
        if (std::fclose(out) != 0 || !whole) throw std::runtime_error("cannot write " + path);
        paths.push_back(path);
    }
    return paths;
}
