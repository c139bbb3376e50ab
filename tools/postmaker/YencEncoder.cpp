#include "YencEncoder.h"

#include <array>

namespace {

// 0: plain, 1: escaped everywhere, 2: escaped at the start or end of a line only.
constexpr std::array<unsigned char, 256> makeEscapeTable() {
    std::array<unsigned char, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        unsigned char encoded = static_cast<unsigned char>(byte + 42);
        if (encoded == 0 || encoded == '\n' || encoded == '\r' || encoded == '=')
            table[byte] = 1;
        else if (encoded == '\t' || encoded == ' ')
            table[byte] = 2;
    }
    return table;
}

constexpr std::array<unsigned char, 256> kEscape = makeEscapeTable();

} // namespace

void encodeYencLines(const unsigned char* data, std::size_t size, int lineLength,
                     std::string& out) {
    if (lineLength < 1) lineLength = 1;
    std::size_t start = out.size();
    // Worst case every byte escaped, plus CRLF per line.
    out.resize(start + size * 2 + (size / lineLength + 1) * 2 + 2);
    char* write = out.data() + start;
    int column = 0;
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char byte = data[i];
        unsigned char encoded = static_cast<unsigned char>(byte + 42);
        unsigned char kind = kEscape[byte];
        bool edge = column == 0 || column == lineLength - 1 || i + 1 == size;
        if (kind == 1 || (kind == 2 && edge)) {
            *write++ = '=';
            encoded = static_cast<unsigned char>(encoded + 64);
            ++column;
        }
        *write++ = static_cast<char>(encoded);
        if (++column >= lineLength) {
            *write++ = '\r';
            *write++ = '\n';
            column = 0;
        }
    }
    if (column > 0) {
        *write++ = '\r';
        *write++ = '\n';
    }
    out.resize(write - out.data());
}
