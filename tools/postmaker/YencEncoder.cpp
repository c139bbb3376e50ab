#include "YencEncoder.h"

#include <array>
#include <emmintrin.h>

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

// True when none of the 16 bytes at `data` needs an escape in the middle of a line; the
// encoded bytes are then stored at `out`.
inline bool encodePlainBlock(const unsigned char* data, char* out) {
    __m128i encoded =
        _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), _mm_set1_epi8(42));
    __m128i critical = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(encoded, _mm_setzero_si128()),
                                                 _mm_cmpeq_epi8(encoded, _mm_set1_epi8('\n'))),
                                    _mm_or_si128(_mm_cmpeq_epi8(encoded, _mm_set1_epi8('\r')),
                                                 _mm_cmpeq_epi8(encoded, _mm_set1_epi8('='))));
    if (_mm_movemask_epi8(critical) != 0) return false;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), encoded);
    return true;
}

} // namespace

void encodeYencLines(const unsigned char* data, std::size_t size, int lineLength,
                     std::string& out) {
    if (lineLength < 1) lineLength = 1;
    std::size_t start = out.size();
    // Worst case every byte escaped, plus CRLF per line.
    out.resize(start + size * 2 + (size / lineLength + 1) * 2 + 2);
    char* write = out.data() + start;
    int column = 0;
    std::size_t i = 0;
    while (i < size) {
        bool middle = column > 0 && column < lineLength - 1 && i + 1 < size;
        if (middle && column + 16 <= lineLength - 1 && i + 16 < size &&
            encodePlainBlock(data + i, write)) {
            write += 16;
            column += 16;
            i += 16;
            continue;
        }
        unsigned char byte = data[i++];
        unsigned char encoded = static_cast<unsigned char>(byte + 42);
        unsigned char kind = kEscape[byte];
        if (kind == 1 || (kind == 2 && !middle)) {
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
