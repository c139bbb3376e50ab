#include "UuDecoder.h"

#include <cctype>

namespace {

std::string_view nextLine(std::string_view data, std::size_t& at) {
    std::size_t lf = data.find('\n', at);
    std::size_t stop = lf == std::string_view::npos ? data.size() : lf;
    std::string_view line = data.substr(at, stop - at);
    at = lf == std::string_view::npos ? data.size() : lf + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

inline unsigned sixBits(char c) {
    return (static_cast<unsigned char>(c) - 32) & 63;
}

// A data line: its length character announces 1..45 bytes and enough characters follow
// (encoders may drop trailing blanks, which stand for zero bits).
bool decodeLine(std::string_view line, std::string& out) {
    if (line.empty()) return false;
    unsigned char lead = static_cast<unsigned char>(line[0]);
    if (lead < 32 || lead > 96) return false;
    unsigned count = sixBits(line[0]);
    if (count == 0 || count > 45) return false;
    std::size_t needed = (count * 4 + 2) / 3;
    if (line.size() - 1 < needed || line.size() - 1 > (count + 2) / 3 * 4 + 1) return false;
    for (std::size_t i = 1; i < line.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 32 || c > 96) return false;
    }
    std::string_view chars = line.substr(1);
    for (unsigned produced = 0, i = 0; produced < count; i += 4) {
        unsigned value = 0;
        for (unsigned k = 0; k < 4; ++k)
            value = (value << 6) | (i + k < chars.size() ? sixBits(chars[i + k]) : 0);
        for (int shift = 16; shift >= 0 && produced < count; shift -= 8, ++produced)
            out += static_cast<char>((value >> shift) & 0xff);
    }
    return true;
}

} // namespace

std::string findUuBegin(std::string_view data, std::size_t& bodyStart) {
    std::size_t at = 0;
    while (at < data.size()) {
        std::string_view line = nextLine(data, at);
        if (line.substr(0, 6) != "begin ") continue;
        std::size_t digits = 6;
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '7')
            ++digits;
        if (digits - 6 < 3 || digits - 6 > 4 || digits >= line.size() || line[digits] != ' ')
            continue;
        std::string name(line.substr(digits + 1));
        if (name.empty()) continue;
        bodyStart = at;
        return name;
    }
    return {};
}

std::size_t uuContinuationStart(std::string_view data) {
    std::size_t at = 0;
    std::string_view first = nextLine(data, at);
    std::size_t colon = first.find(':');
    bool header = colon != std::string_view::npos && colon > 0 && first.find(' ') == colon + 1;
    for (std::size_t i = 0; header && i < colon; ++i)
        header = std::isalnum(static_cast<unsigned char>(first[i])) || first[i] == '-';
    if (!header) return 0;
    while (at < data.size())
        if (nextLine(data, at).empty()) return at;
    return data.size();
}

bool decodeUuLines(std::string_view data, std::size_t from, std::string& out) {
    std::size_t at = from;
    while (at < data.size()) {
        std::string_view line = nextLine(data, at);
        if (line == "end") return true;
        decodeLine(line, out);
    }
    return false;
}
