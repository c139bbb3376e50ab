#include "RarSetWriter.h"

#include "VolumeNames.h"
#include "VolumePlan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr std::size_t chunkSize = 1 << 20;

std::runtime_error systemError(const std::string& what, const std::string& path) {
    return std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

class FileHandle {
  public:
    FileHandle(const std::string& path, int flags)
        : path(path), fd(::open(path.c_str(), flags, 0644)) {
        if (fd < 0) throw systemError(flags & O_CREAT ? "cannot create" : "cannot read", path);
    }
    ~FileHandle() {
        if (fd >= 0) ::close(fd);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    void write(const char* data, std::size_t size) {
        while (size > 0) {
            ssize_t done = ::write(fd, data, size);
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) throw systemError("cannot write", path);
            data += done;
            size -= static_cast<std::size_t>(done);
            written += static_cast<std::uint64_t>(done);
        }
    }
    void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }

    // Puts `bytes` back over what was written at `offset` (same length).
    void rewrite(std::uint64_t offset, const std::string& bytes) {
        if (::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(bytes.size()))
            throw systemError("cannot write", path);
    }

    std::size_t readAt(std::uint64_t offset, char* data, std::size_t size) {
        for (;;) {
            ssize_t done = ::pread(fd, data, size, static_cast<off_t>(offset));
            if (done < 0 && errno == EINTR) continue;
            if (done < 0) throw systemError("cannot read", path);
            return static_cast<std::size_t>(done);
        }
    }

    void finish() {
        int result = ::close(fd);
        fd = -1;
        if (result != 0) throw systemError("cannot write", path);
    }

    const std::string path;
    std::uint64_t written = 0;

  private:
    int fd;
};

std::uint64_t fileSize(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw systemError("cannot read", path);
    return static_cast<std::uint64_t>(info.st_size);
}

std::uint32_t crcUpdate(std::uint32_t crc, const char* data, std::size_t size) {
    return static_cast<std::uint32_t>(
        crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

void validate(const std::vector<RarEntry>& entries, const RarSetOptions& options) {
    if (entries.empty()) throw std::invalid_argument("nothing to put into the archive");
    if (options.naming == RarNaming::old && options.format != RarFormat::rar4)
        throw std::invalid_argument("old volume naming (.rar, .r00…) is for RAR4 sets only");
    for (const RarEntry& entry : entries) {
        if (entry.name.empty()) throw std::invalid_argument("an entry has no name");
        if (entry.name.size() > 0xffff - 64)
            throw std::invalid_argument("entry name longer than a header can hold: '" +
                                        entry.name.substr(0, 40) + "…'");
    }
}

class SetWriter {
  public:
    SetWriter(const std::vector<RarEntry>& entries, const RarSetOptions& options)
        : entries(entries), options(options), headers(rarHeaders(options.format, options.naming)),
          buffer(chunkSize) {}

    std::vector<std::string> write(const std::string& base) {
        std::vector<std::uint64_t> sizes;
        for (const RarEntry& entry : entries)
            sizes.push_back(streamedFromFile(entry) ? fileSize(entry.path)
                                                    : headers->inlineData(entry).size());
        std::vector<RarVolumeParts> volumes =
            planVolumes(entries, sizes, *headers, options.volumeSize);
        std::vector<std::string> names = volumeNames(base, volumes.size(), options);
        try {
            for (std::size_t i = 0; i < volumes.size(); ++i) {
                made = i + 1;
                writeVolume(names[i], {i, volumes.size(), options.volumeSize != 0}, volumes[i]);
            }
        } catch (...) {
            for (std::size_t i = 0; i < made; ++i)
                std::remove(names[i].c_str());
            throw;
        }
        return names;
    }

  private:
    void writeVolume(const std::string& path, const RarVolumeSpot& spot, RarVolumeParts& parts) {
        FileHandle out(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
        out.write(headers->signature());
        out.write(headers->mainHeader(spot));
        for (RarPart& part : parts) {
            const RarEntry& entry = entries[part.entry];
            std::uint64_t at = out.written;
            std::string header = headers->fileHeader(entry, part);
            out.write(header);
            std::uint32_t partCrc = copyData(entry, part, out);
            part.crc32 = part.splitAfter ? partCrc : entryCrc;
            std::string final = headers->fileHeader(entry, part);
            if (final.size() != header.size())
                throw std::logic_error("a file header changed size with its CRC");
            out.rewrite(at, final);
        }
        out.write(headers->endHeader(spot));
        out.finish();
    }

    // Copies the part's bytes; returns their CRC32 and carries the entry's on in entryCrc.
    std::uint32_t copyData(const RarEntry& entry, const RarPart& part, FileHandle& out) {
        std::uint32_t partCrc = 0;
        if (!streamedFromFile(entry)) {
            std::string_view data = headers->inlineData(entry);
            partCrc = crcUpdate(0, data.data() + part.offset, part.length);
            out.write(data.data() + part.offset, part.length);
        } else {
            FileHandle in(entry.path, O_RDONLY | O_CLOEXEC);
            for (std::uint64_t done = 0; done < part.length;) {
                std::size_t want = static_cast<std::size_t>(
                    std::min<std::uint64_t>(chunkSize, part.length - done));
                std::size_t got = in.readAt(part.offset + done, buffer.data(), want);
                if (got == 0)
                    throw std::runtime_error("'" + entry.path +
                                             "' became shorter while it was stored");
                partCrc = crcUpdate(partCrc, buffer.data(), got);
                out.write(buffer.data(), got);
                done += got;
            }
            if (!part.splitAfter && fileSize(entry.path) != part.total)
                throw std::runtime_error("'" + entry.path + "' changed size while it was stored");
        }
        entryCrc = part.offset == 0 ? partCrc
                                    : static_cast<std::uint32_t>(crc32_combine(
                                          entryCrc, partCrc, static_cast<z_off_t>(part.length)));
        return partCrc;
    }

    const std::vector<RarEntry>& entries;
    const RarSetOptions& options;
    std::unique_ptr<RarHeaders> headers;
    std::vector<char> buffer;
    std::uint32_t entryCrc = 0;
    std::size_t made = 0;
};

} // namespace

std::vector<std::string> writeRarSet(const std::string& base, const std::vector<RarEntry>& entries,
                                     const RarSetOptions& options) {
    validate(entries, options);
    return SetWriter(entries, options).write(base);
}
