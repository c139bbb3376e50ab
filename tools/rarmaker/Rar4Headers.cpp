#include "Rar4Headers.h"

#include <ctime>
#include <zlib.h>

namespace {

constexpr std::uint32_t mainHead = 0x73;
constexpr std::uint32_t fileHead = 0x74;
constexpr std::uint32_t endArcHead = 0x7b;
// main header
constexpr std::uint32_t archiveIsVolume = 0x0001;
constexpr std::uint32_t partNaming = 0x0010;
constexpr std::uint32_t firstVolume = 0x0100;
// file header
constexpr std::uint32_t continuedFromPrevious = 0x0001;
constexpr std::uint32_t continuedInNext = 0x0002;
constexpr std::uint32_t hasHighSizes = 0x0100;
constexpr std::uint32_t utf8Name = 0x0200;
constexpr std::uint32_t hasAddSize =
    0x8000; // always set on file headers: the data follows the header
constexpr std::uint32_t hostUnix = 3;
constexpr std::uint32_t unpackVersion = 29;
constexpr std::uint32_t methodStore = 0x30;
// end header
constexpr std::uint32_t nextVolumeExists = 0x0001;

void append(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

// `body` starts at the header type; the header size is patched in and the CRC put first.
std::string framed(std::string body) {
    std::uint64_t size = body.size() + 2;
    body[3] = static_cast<char>(size);
    body[4] = static_cast<char>(size >> 8);
    std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(body.data()), body.size()));
    std::string header;
    append(header, crc & 0xffff, 2);
    return header + body;
}

std::string headerStart(std::uint32_t type, std::uint32_t flags) {
    std::string body;
    append(body, type, 1);
    append(body, flags, 2);
    append(body, 0, 2); // size, patched by framed()
    return body;
}

std::uint32_t dosTime(std::int64_t seconds) {
    std::time_t when = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&when, &local);
    if (local.tm_year < 80) return (1 << 21) | (1 << 16); // the format starts in 1980
    return static_cast<std::uint32_t>((local.tm_year - 80) << 25 | (local.tm_mon + 1) << 21 |
                                      local.tm_mday << 16 | local.tm_hour << 11 |
                                      local.tm_min << 5 | local.tm_sec / 2);
}

bool asciiOnly(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

} // namespace

std::string Rar4Headers::signature() const {
    return std::string("Rar!\x1a\x07\x00", 7);
}

std::string Rar4Headers::mainHeader(const RarVolumeSpot& spot) const {
    std::uint32_t flags = 0;
    if (spot.isVolume) {
        flags |= archiveIsVolume;
        if (naming == RarNaming::part) flags |= partNaming;
        if (spot.index == 0) flags |= firstVolume;
    }
    std::string body = headerStart(mainHead, flags);
    append(body, 0, 2); // reserved
    append(body, 0, 4); // reserved
    return framed(body);
}

std::string Rar4Headers::fileHeader(const RarEntry& entry, const RarPart& part) const {
    bool large = part.length > 0xffffffffu || part.total > 0xffffffffu;
    std::uint32_t flags = hasAddSize;
    if (part.splitBefore) flags |= continuedFromPrevious;
    if (part.splitAfter) flags |= continuedInNext;
    if (large) flags |= hasHighSizes;
    // Without the zero that would start a second, encoded name, the name is read as UTF-8.
    if (!asciiOnly(entry.name)) flags |= utf8Name;
    std::string body = headerStart(fileHead, flags);
    append(body, part.length & 0xffffffffu, 4);
    append(body, part.total & 0xffffffffu, 4);
    append(body, hostUnix, 1);
    append(body, part.crc32, 4);
    append(body, dosTime(entry.mtime), 4);
    append(body, unpackVersion, 1);
    append(body, methodStore, 1);
    append(body, entry.name.size(), 2);
    append(body, entry.mode, 4);
    if (large) {
        append(body, part.length >> 32, 4);
        append(body, part.total >> 32, 4);
    }
    body += entry.name;
    return framed(body);
}

std::string Rar4Headers::endHeader(const RarVolumeSpot& spot) const {
    return framed(headerStart(endArcHead, spot.index + 1 < spot.count ? nextVolumeExists : 0));
}

// A Unix link keeps its target as the entry's data.
std::string_view Rar4Headers::inlineData(const RarEntry& entry) const {
    return entry.isLink() ? entry.linkTarget : entry.bytes;
}
