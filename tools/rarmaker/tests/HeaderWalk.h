// Walks the headers of written volumes on its own, checking every header CRC, and returns
// what they say: libarchive reads stored data without checking its CRC32, so the data
// CRCs and split flags are checked against this.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

struct WalkedPart {
    std::string name;
    bool splitBefore = false;
    bool splitAfter = false;
    std::uint32_t crcField = 0;
    std::string data;
};

struct WalkedVolume {
    std::uint64_t mainFlags = 0;
    std::uint64_t volumeNumber = 0; // RAR5: 0 when the main header has none
    std::uint64_t endFlags = 0;
    std::vector<WalkedPart> parts;
};

inline std::uint32_t crcOf(const std::string& bytes, std::size_t at = 0,
                           std::size_t size = std::string::npos) {
    size = std::min(size, bytes.size() - at);
    return static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data() + at), static_cast<uInt>(size)));
}

class ByteCursor {
  public:
    ByteCursor(const std::string& bytes, std::size_t at) : bytes(bytes), at(at) {}
    std::uint64_t fixed(int size) {
        need(size);
        std::uint64_t value = 0;
        for (int i = 0; i < size; ++i)
            value |= std::uint64_t(static_cast<unsigned char>(bytes[at++])) << (8 * i);
        return value;
    }
    std::uint64_t vint() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 70; shift += 7) {
            std::uint64_t byte = fixed(1);
            value |= (byte & 0x7f) << shift;
            if (!(byte & 0x80)) return value;
        }
        throw std::runtime_error("vint too long");
    }
    std::string text(std::size_t size) {
        need(size);
        at += size;
        return bytes.substr(at - size, size);
    }
    void need(std::size_t size) const {
        if (at + size > bytes.size()) throw std::runtime_error("header runs past the volume");
    }
    const std::string& bytes;
    std::size_t at;
};

inline WalkedVolume walkRar5(const std::string& volume) {
    if (volume.compare(0, 8, std::string("Rar!\x1a\x07\x01\x00", 8)) != 0)
        throw std::runtime_error("no RAR5 signature");
    WalkedVolume walked;
    ByteCursor in(volume, 8);
    for (;;) {
        std::uint32_t crc = static_cast<std::uint32_t>(in.fixed(4));
        std::size_t sizeAt = in.at;
        std::uint64_t size = in.vint();
        std::size_t end = in.at + size;
        in.need(size);
        if (crcOf(volume, sizeAt, end - sizeAt) != crc) throw std::runtime_error("header CRC");
        std::uint64_t type = in.vint(), flags = in.vint();
        if (flags & 1) in.vint(); // extra area size
        std::uint64_t data = flags & 2 ? in.vint() : 0;
        if (type == 1) {
            walked.mainFlags = in.vint();
            if (walked.mainFlags & 2) walked.volumeNumber = in.vint();
        } else if (type == 5) {
            walked.endFlags = in.vint();
            return walked;
        } else if (type == 2) {
            WalkedPart part;
            part.splitBefore = flags & 0x08;
            part.splitAfter = flags & 0x10;
            std::uint64_t fileFlags = in.vint();
            in.vint(); // unpacked size
            in.vint(); // attributes
            if (fileFlags & 2) in.fixed(4);
            if (fileFlags & 4) part.crcField = static_cast<std::uint32_t>(in.fixed(4));
            in.vint(); // compression
            in.vint(); // host
            part.name = in.text(in.vint());
            in.at = end;
            part.data = in.text(data);
            walked.parts.push_back(part);
            continue;
        }
        in.at = end + data;
    }
}

inline WalkedVolume walkRar4(const std::string& volume) {
    if (volume.compare(0, 7, std::string("Rar!\x1a\x07\x00", 7)) != 0)
        throw std::runtime_error("no RAR4 signature");
    WalkedVolume walked;
    ByteCursor in(volume, 7);
    for (;;) {
        std::size_t start = in.at;
        std::uint64_t crc = in.fixed(2), type = in.fixed(1), flags = in.fixed(2),
                      size = in.fixed(2);
        in.need(size - 7);
        if ((crcOf(volume, start + 2, size - 2) & 0xffff) != crc)
            throw std::runtime_error("header CRC");
        if (type == 0x73) {
            walked.mainFlags = flags;
        } else if (type == 0x7b) {
            walked.endFlags = flags;
            return walked;
        } else if (type == 0x74) {
            WalkedPart part;
            part.splitBefore = flags & 0x01;
            part.splitAfter = flags & 0x02;
            std::uint64_t packed = in.fixed(4);
            in.fixed(4 + 1); // unpacked size, host
            part.crcField = static_cast<std::uint32_t>(in.fixed(4));
            in.fixed(4 + 1 + 1); // time, version, method
            std::uint64_t nameSize = in.fixed(2);
            in.fixed(4); // attributes
            if (flags & 0x100) packed |= in.fixed(4) << 32, in.fixed(4);
            part.name = in.text(nameSize);
            in.at = start + size;
            part.data = in.text(packed);
            walked.parts.push_back(part);
            continue;
        }
        in.at = start + size;
    }
}
