#include "OutputName.h"

namespace {
constexpr std::size_t kNameMax = 255;
}

std::string safeOutputName(std::string_view name, const std::string& fallback) {
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    std::string safe;
    for (char c : name) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) continue;
        safe += c;
    }
    // Blanks at either end are invisible in listings and usually an encoder's slip.
    std::size_t first = safe.find_first_not_of(' ');
    std::size_t last = safe.find_last_not_of(' ');
    safe = first == std::string::npos ? std::string() : safe.substr(first, last - first + 1);
    if (safe.size() > kNameMax) safe.resize(kNameMax);
    if (safe.empty() || safe == "." || safe == "..") return fallback;
    return safe;
}

std::string numberedName(const std::string& name, int n) {
    std::size_t dot = name.rfind('.');
    std::string number = "." + std::to_string(n);
    if (dot == std::string::npos || dot == 0) return name + number;
    std::string numbered = name.substr(0, dot) + number + name.substr(dot);
    // Still one name of at most 255 bytes: the stem gives way.
    std::size_t excess = numbered.size() > kNameMax ? numbered.size() - kNameMax : 0;
    if (excess > 0 && excess < dot) numbered.erase(dot - excess, excess);
    else if (excess > 0) numbered.resize(kNameMax);
    return numbered;
}
