#include "VolumePlan.h"

#include <algorithm>
#include <stdexcept>

namespace {

class Planner {
  public:
    Planner(const RarHeaders& headers, std::uint64_t volumeSize)
        : headers(headers), volumeSize(volumeSize) {
        openVolume();
    }

    void add(const RarEntry& entry, std::size_t index, std::uint64_t size) {
        RarPart part;
        part.entry = index;
        part.total = size;
        for (;;) {
            part.length = size - part.offset;
            std::uint64_t header = headers.fileHeader(entry, part).size();
            if (volumeSize != 0) {
                std::uint64_t needed = header + std::min<std::uint64_t>(part.length, 1);
                if (used + endSize() + needed > volumeSize) {
                    if (volumes.back().empty())
                        throw std::invalid_argument("volume size " + std::to_string(volumeSize) +
                                                    " cannot hold the headers of '" + entry.name +
                                                    "'");
                    openVolume();
                    continue;
                }
                part.length = std::min(part.length, volumeSize - used - endSize() - header);
                header = headers.fileHeader(entry, part).size();
            }
            part.splitAfter = part.offset + part.length < size;
            volumes.back().push_back(part);
            used += header + part.length;
            part.offset += part.length;
            if (part.offset >= size) return;
            part.splitBefore = true;
        }
    }

    std::vector<RarVolumeParts> volumes;

  private:
    void openVolume() {
        volumes.emplace_back();
        used = headers.signature().size() + headers.mainHeader(spot()).size();
    }
    // Sizes only: the index is what makes a main header longer, the count changes nothing.
    RarVolumeSpot spot() const { return {volumes.size() - 1, volumes.size() + 1, volumeSize != 0}; }
    std::uint64_t endSize() const { return headers.endHeader(spot()).size(); }

    const RarHeaders& headers;
    std::uint64_t volumeSize;
    std::uint64_t used = 0;
};

} // namespace

std::vector<RarVolumeParts> planVolumes(const std::vector<RarEntry>& entries,
                                        const std::vector<std::uint64_t>& sizes,
                                        const RarHeaders& headers, std::uint64_t volumeSize) {
    Planner planner(headers, volumeSize);
    for (std::size_t i = 0; i < entries.size(); ++i)
        planner.add(entries[i], i, sizes[i]);
    return planner.volumes;
}
