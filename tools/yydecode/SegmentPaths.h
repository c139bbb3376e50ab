// Which segment files a command line names.
#pragma once

#include <string>
#include <vector>

// Expands each argument that holds a wildcard ('*', '?', '[') itself, so that a pattern
// handed over as one argument works without a shell; other arguments are taken as they
// are. Patterns that match nothing are added to `unmatched`. The result is in segment
// order (segmentOrderLess), without duplicates.
std::vector<std::string> expandSegmentArguments(const std::vector<std::string>& arguments,
                                                std::vector<std::string>& unmatched);

// Shorter file name first, then by name: with the client's "<post>.<file>.<segment>"
// names in hexadecimal this is the order of the segment numbers.
bool segmentOrderLess(const std::string& a, const std::string& b);
