// How a set's entries are cut into volumes, worked out from sizes alone before anything
// is written, so every volume's name and number are known up front.
#pragma once

#include "RarHeaders.h"

#include <vector>

using RarVolumeParts = std::vector<RarPart>;

// The parts of each volume, first volume first. `sizes` are the entries' data sizes.
// `volumeSize` 0 puts everything into one archive; else no volume exceeds it. Throws
// std::invalid_argument when a volume cannot hold the headers and one byte of an entry.
std::vector<RarVolumeParts> planVolumes(const std::vector<RarEntry>& entries,
                                        const std::vector<std::uint64_t>& sizes,
                                        const RarHeaders& headers, std::uint64_t volumeSize);
