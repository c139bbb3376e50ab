#include "postFolderName.h"

#include "utf8Text.h"

#include <strings.h>

namespace {

// A post is named after its NZB file; its folder holds what the post brought, not an NZB.
std::string withoutNzbExtension(const std::string& description) {
    for (const char* extension : {".nzb.gz", ".nzb"}) {
        const size_t length = std::char_traits<char>::length(extension);
        if (description.size() > length &&
            strcasecmp(description.c_str() + description.size() - length, extension) == 0)
            return description.substr(0, description.size() - length);
    }
    return description;
}

} // namespace

std::string postFolderName(const std::string& description) {
    std::string name;
    for (unsigned char c : withoutNzbExtension(description))
        name += c == '/' || c < 0x20 || c == 0x7f ? '_' : (char)c;
    const size_t first = name.find_first_not_of(' ');
    name = first == std::string::npos ? ""
                                      : name.substr(first, name.find_last_not_of(' ') + 1 - first);
    if (name.size() > 255) {
        name.resize(utf8Cut(name.c_str(), 255));
        // The cut may leave a blank at the end, which a folder name should not have.
        name.erase(name.find_last_not_of(' ') + 1);
    }
    if (name.empty() || name == "." || name == "..") return "post";
    return name;
}
