// The bytes one RAR format puts around stored data. A set is a sequence of volumes; each
// volume holds a signature, a main header, file parts (a file header then its data) and
// an end header.
#pragma once

#include "RarEntry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// Whether the entry's bytes come from its file rather than from memory.
inline bool streamedFromFile(const RarEntry& entry) {
    return !entry.path.empty() && !entry.isLink();
}

// One piece of an entry's data inside one volume.
struct RarPart {
    std::size_t entry = 0;    // index among the set's entries
    std::uint64_t offset = 0; // of its first byte within the entry's data
    std::uint64_t length = 0; // data bytes in this volume
    std::uint64_t total = 0;  // data bytes of the whole entry
    bool splitBefore = false; // continues the entry from the previous volume
    bool splitAfter = false;  // the entry goes on in the next volume
    std::uint32_t crc32 = 0;  // of this part's data when split after, else of the whole entry
};

// Where a volume stands in its set.
struct RarVolumeSpot {
    std::size_t index = 0; // 0 for the first
    std::size_t count = 1;
    bool isVolume = false; // false: a plain single archive
};

class RarHeaders {
  public:
    virtual ~RarHeaders() = default;
    virtual std::string signature() const = 0;
    virtual std::string mainHeader(const RarVolumeSpot& spot) const = 0;
    // The file header of `part`; its size never depends on part.crc32.
    virtual std::string fileHeader(const RarEntry& entry, const RarPart& part) const = 0;
    virtual std::string endHeader(const RarVolumeSpot& spot) const = 0;
    // The bytes stored for `entry`: its content, or for a link what the format keeps there.
    // Not called for entries streamed from a file.
    virtual std::string_view inlineData(const RarEntry& entry) const = 0;
};

std::unique_ptr<RarHeaders> rarHeaders(RarFormat format, RarNaming naming);
