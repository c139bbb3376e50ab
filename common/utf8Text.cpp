#include "utf8Text.h"

#include <cstring>
#include <strings.h>

namespace {

// windows-1252 at 0x80..0x9F; the five bytes it leaves unassigned keep their Latin-1 code.
const unsigned short kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `in` (`left` bytes available), or 0. Overlong
// forms, surrogates and codes beyond U+10FFFF are not valid.
std::size_t sequenceLength(const unsigned char* in, std::size_t left) {
    unsigned char c = in[0];
    std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    if (c < 0xC2 || c > 0xF4 || left < length) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if (!continuation(in[i])) return 0;
    if (c == 0xE0 && in[1] < 0xA0) return 0;  // overlong
    if (c == 0xED && in[1] >= 0xA0) return 0; // surrogate
    if (c == 0xF0 && in[1] < 0x90) return 0;  // overlong
    if (c == 0xF4 && in[1] >= 0x90) return 0; // beyond U+10FFFF
    return length;
}

unsigned singleByteCode(unsigned char c, eCharset fallback) {
    if (fallback == eCharset::cp1252 && c >= 0x80 && c < 0xA0) return kCp1252High[c - 0x80];
    return c;
}

} // namespace

eCharset charsetNamed(std::string_view name) {
    static const char* const kCp1252Names[] = {"windows-1252", "cp1252", "x-cp1252"};
    for (const char* known : kCp1252Names)
        if (name.size() == std::char_traits<char>::length(known) &&
            strncasecmp(name.data(), known, name.size()) == 0)
            return eCharset::cp1252;
    return eCharset::latin1;
}

std::size_t utf8Encode(unsigned code, char* out) {
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | (code >> 6));
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code >> 12));
        out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (code >> 18));
    out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}

std::size_t toUtf8(std::string_view in, char* out, std::size_t size, eCharset fallback) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t used = 0;
    for (std::size_t i = 0; i < in.size();) {
        // Most text is ASCII: a run of it goes in one copy.
        std::size_t run = i;
        while (run < in.size() && bytes[run] < 0x80)
            ++run;
        std::size_t length = run - i;
        const char* from = in.data() + i;
        std::size_t written = length;
        char encoded[4];
        if (length == 0) {
            length = sequenceLength(bytes + i, in.size() - i);
            written = length;
            if (length == 0) { // not UTF-8: one byte of the single-byte encoding
                written = utf8Encode(singleByteCode(bytes[i], fallback), encoded);
                from = encoded;
                length = 1;
            }
        }
        if (used + written >= size) return size;
        std::memcpy(out + used, from, written);
        used += written;
        i += length;
    }
    if (size > 0) out[used] = '\0';
    return used;
}

std::string toUtf8(std::string_view in, eCharset fallback) {
    std::string out(in.size() * 3 + 1, '\0');
    out.resize(toUtf8(in, out.data(), out.size(), fallback));
    return out;
}
