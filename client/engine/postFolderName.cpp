#include "postFolderName.h"

#include "utf8Text.h"

std::string postFolderName(const std::string& description) {
    std::string name;
    for (unsigned char c : description)
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
