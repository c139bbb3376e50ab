#include "Rar5Headers.h"

#include <zlib.h>

namespace {

constexpr std::uint64_t headMain = 1;
constexpr std::uint64_t headFile = 2;
constexpr std::uint64_t headEnd = 5;
// flags of every header
constexpr std::uint64_t hasExtra = 0x0001;
constexpr std::uint64_t hasData = 0x0002;
constexpr std::uint64_t splitBefore = 0x0008;
constexpr std::uint64_t splitAfter = 0x0010;
// main header
constexpr std::uint64_t archiveIsVolume = 0x0001;
constexpr std::uint64_t hasVolumeNumber = 0x0002;
// file header
constexpr std::uint64_t hasUnixTime = 0x0002;
constexpr std::uint64_t hasCrc32 = 0x0004;
constexpr std::uint64_t hostUnix = 1;
// extra record: file system redirection
constexpr std::uint64_t extraRedirection = 5;
constexpr std::uint64_t unixSymlink = 1;
// end header
constexpr std::uint64_t moreVolumes = 0x0001;

void appendUint32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>(value >> shift));
}

// `body` runs from the header type to the end of the extra area; the size and the CRC32
// (which covers the size too) go before it.
std::string framed(const std::string& body) {
    std::string sized;
    appendVint(sized, body.size());
    sized += body;
    std::string header;
    appendUint32(header, static_cast<std::uint32_t>(crc32(
                             0L, reinterpret_cast<const Bytef*>(sized.data()), sized.size())));
    return header + sized;
}

std::string redirectionRecord(const std::string& target) {
    std::string record;
    appendVint(record, extraRedirection);
    appendVint(record, unixSymlink);
    appendVint(record, 0); // flags: the target is not a folder
    appendVint(record, target.size());
    record += target;
    std::string sized;
    appendVint(sized, record.size());
    return sized + record;
}

} // namespace

void appendVint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (value & 0x7f)));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

std::string Rar5Headers::signature() const {
    return std::string("Rar!\x1a\x07\x01\x00", 8);
}

std::string Rar5Headers::mainHeader(const RarVolumeSpot& spot) const {
    std::string body;
    appendVint(body, headMain);
    appendVint(body, 0);
    std::uint64_t flags = spot.isVolume ? archiveIsVolume : 0;
    if (spot.index > 0) flags |= hasVolumeNumber;
    appendVint(body, flags);
    if (spot.index > 0) appendVint(body, spot.index);
    return framed(body);
}

std::string Rar5Headers::fileHeader(const RarEntry& entry, const RarPart& part) const {
    std::string extra = entry.isLink() ? redirectionRecord(entry.linkTarget) : std::string();
    std::string body;
    appendVint(body, headFile);
    std::uint64_t flags = hasData | (extra.empty() ? 0 : hasExtra);
    if (part.splitBefore) flags |= splitBefore;
    if (part.splitAfter) flags |= splitAfter;
    appendVint(body, flags);
    if (!extra.empty()) appendVint(body, extra.size());
    appendVint(body, part.length);
    appendVint(body, hasUnixTime | hasCrc32);
    appendVint(body, part.total);
    appendVint(body, entry.mode);
    appendUint32(body, static_cast<std::uint32_t>(entry.mtime));
    appendUint32(body, part.crc32);
    appendVint(body, 0); // compression: version 0, method 0 (stored), smallest dictionary
    appendVint(body, hostUnix);
    appendVint(body, entry.name.size());
    body += entry.name;
    body += extra;
    return framed(body);
}

std::string Rar5Headers::endHeader(const RarVolumeSpot& spot) const {
    std::string body;
    appendVint(body, headEnd);
    appendVint(body, 0);
    appendVint(body, spot.index + 1 < spot.count ? moreVolumes : 0);
    return framed(body);
}

std::string_view Rar5Headers::inlineData(const RarEntry& entry) const {
    return entry.isLink() ? std::string_view() : std::string_view(entry.bytes);
}
