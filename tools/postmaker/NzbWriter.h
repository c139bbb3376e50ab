// Writes the NZB that lists a post's files and articles, one element per line.
#pragma once

#include "PostOptions.h"

#include <string>
#include <vector>

// Throws std::runtime_error when the NZB cannot be written whole.
void writeNzb(const std::string& path, const std::vector<PostedFile>& files,
              const PostOptions& options);
