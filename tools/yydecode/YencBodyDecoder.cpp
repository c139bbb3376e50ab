#include "YencBodyDecoder.h"

#include <immintrin.h>

namespace {

// Handles the byte at `in[i]`, which is '=', CR or LF; returns the next input index.
inline std::size_t special(const unsigned char* in, std::size_t i, std::size_t size,
                           unsigned char*& out) {
    if (in[i] != '=') return i + 1;
    if (i + 1 >= size) return size;
    unsigned char next = in[i + 1];
    if (next == '\r' || next == '\n') return i + 1;
    *out++ = static_cast<unsigned char>(next - 64 - 42);
    return i + 2;
}

std::size_t decodeTail(const unsigned char* in, std::size_t i, std::size_t size,
                       unsigned char* start, unsigned char* out) {
    while (i < size) {
        unsigned char c = in[i];
        if (c == '=' || c == '\r' || c == '\n') {
            i = special(in, i, size, out);
            continue;
        }
        *out++ = static_cast<unsigned char>(c - 42);
        ++i;
    }
    return static_cast<std::size_t>(out - start);
}

} // namespace

std::size_t decodeYencBodyScalar(const unsigned char* in, std::size_t size, unsigned char* out) {
    return decodeTail(in, 0, size, out, out);
}

// One block at a time: the whole block is stored shifted by 42, and the output moves
// on by the run of plain bytes before the first special one, which is then handled on
// its own. Escapes and line ends are rare, so most blocks are plain.
std::size_t decodeYencBodySse2(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    const __m128i equals = _mm_set1_epi8('=');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i shift = _mm_set1_epi8(42);
    std::size_t i = 0;
    while (i + 16 <= size) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m128i hits =
            _mm_or_si128(_mm_cmpeq_epi8(block, equals),
                         _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_sub_epi8(block, shift));
        if (mask == 0) {
            i += 16;
            out += 16;
            continue;
        }
        unsigned plain = static_cast<unsigned>(__builtin_ctz(mask));
        i += plain;
        out += plain;
        i = special(in, i, size, out);
    }
    return decodeTail(in, i, size, start, out);
}

__attribute__((target("avx2"))) std::size_t
decodeYencBodyAvx2(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    const __m256i equals = _mm256_set1_epi8('=');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i shift = _mm256_set1_epi8(42);
    std::size_t i = 0;
    while (i + 32 <= size) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        __m256i hits = _mm256_or_si256(
            _mm256_cmpeq_epi8(block, equals),
            _mm256_or_si256(_mm256_cmpeq_epi8(block, cr), _mm256_cmpeq_epi8(block, lf)));
        unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hits));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_sub_epi8(block, shift));
        if (mask == 0) {
            i += 32;
            out += 32;
            continue;
        }
        unsigned plain = static_cast<unsigned>(__builtin_ctz(mask));
        i += plain;
        out += plain;
        i = special(in, i, size, out);
    }
    return decodeTail(in, i, size, start, out);
}

bool hasAvx2() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}

std::size_t decodeYencBody(const unsigned char* in, std::size_t size, unsigned char* out) {
    return hasAvx2() ? decodeYencBodyAvx2(in, size, out) : decodeYencBodySse2(in, size, out);
}
