#include "DotStuffing.h"

#include <cstring>

void appendDotStuffed(std::string& out, const char* data, size_t size) {
    const char* end = data + size;
    const char* from = data;
    if (from < end && *from == '.') out.push_back('.');
    while (from < end) {
        const char* hit = static_cast<const char*>(memmem(from, (size_t)(end - from), "\n.", 2));
        if (!hit) break;
        out.append(from, (size_t)(hit + 1 - from));
        out.push_back('.');
        from = hit + 1;
    }
    out.append(from, (size_t)(end - from));
}
