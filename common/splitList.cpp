#include "splitList.h"

std::vector<std::string> splitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find(separator, begin);
        if (end == std::string::npos) end = text.size();
        if (end > begin) parts.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return parts;
}
