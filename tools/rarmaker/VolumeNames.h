// The file names of a RAR set's volumes.
#pragma once

#include "RarEntry.h"

#include <string>
#include <vector>

// `count` names for the set `base` ("dir/name"): "base.rar" for a single archive; for a
// volume set "base.partN.rar" with N as wide as `count` needs, or "base.rar", "base.r00"…
// Throws std::invalid_argument when old naming cannot number that many volumes.
std::vector<std::string> volumeNames(const std::string& base, std::size_t count,
                                     const RarSetOptions& options);
