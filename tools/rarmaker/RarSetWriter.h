// Writes stored (uncompressed) RAR sets, RAR4 or RAR5, one archive or a volume set.
#pragma once

#include "RarEntry.h"

#include <string>
#include <vector>

// Writes `entries` as the set `base` ("dir/name", see volumeNames) and returns the volume
// paths, first first. File contents are streamed, never held whole in memory. Throws
// std::runtime_error or std::invalid_argument with a one-line reason when an input cannot
// be read or changes size, the options cannot work, or a volume cannot be written; the
// volumes made so far are removed then.
std::vector<std::string> writeRarSet(const std::string& base, const std::vector<RarEntry>& entries,
                                     const RarSetOptions& options);
