#include "VolumeNames.h"

#include <cstdio>
#include <stdexcept>

std::vector<std::string> volumeNames(const std::string& base, std::size_t count,
                                     const RarSetOptions& options) {
    std::vector<std::string> names;
    if (options.volumeSize == 0) {
        names.push_back(base + ".rar");
        return names;
    }
    if (options.naming == RarNaming::old) {
        // .r00 to .r99, then .s00…: as far as the letters go
        if (count > 1 + 100 * 9)
            throw std::invalid_argument("old volume naming stops at " +
                                        std::to_string(1 + 100 * 9) + " volumes; use part naming");
        names.push_back(base + ".rar");
        for (std::size_t i = 0; i + 1 < count; ++i) {
            char suffix[8];
            std::snprintf(suffix, sizeof suffix, ".%c%02zu", static_cast<char>('r' + i / 100),
                          i % 100);
            names.push_back(base + suffix);
        }
        return names;
    }
    int width = static_cast<int>(std::to_string(count).size());
    for (std::size_t i = 1; i <= count; ++i) {
        char part[32];
        std::snprintf(part, sizeof part, ".part%0*zu.rar", width, i);
        names.push_back(base + part);
    }
    return names;
}
