// The folder a post is unpacked into, named after the post's description.
#pragma once
#include <string>

// `description` without its ".nzb" or ".nzb.gz", as one safe folder name: "/" and control characters become "_", blanks
// at either end go, "." and ".." and an empty name become "post", and the name is cut
// at a character boundary to 255 bytes.
std::string postFolderName(const std::string& description);
