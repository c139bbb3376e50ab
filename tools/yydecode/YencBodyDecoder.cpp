#include "YencBodyDecoder.h"

#include <cstdint>
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

// Decodes one byte at a time from `i` until `stop` is reached; an escape that starts
// before `stop` is finished. Returns the next input index.
inline std::size_t decodeBytes(const unsigned char* in, std::size_t i, std::size_t stop,
                               std::size_t size, unsigned char*& out) {
    while (i < stop) {
        unsigned char c = in[i];
        if (c == '=' || c == '\r' || c == '\n') {
            i = special(in, i, size, out);
            continue;
        }
        *out++ = static_cast<unsigned char>(c - 42);
        ++i;
    }
    return i;
}

// For each 8-bit removal mask, the positions of the kept bytes, then "zero" (0x80).
struct CompactTable {
    alignas(8) unsigned char index[256][8];
    constexpr CompactTable() : index{} {
        for (int mask = 0; mask < 256; ++mask) {
            int kept = 0;
            for (int bit = 0; bit < 8; ++bit)
                if (!(mask & (1 << bit))) index[mask][kept++] = static_cast<unsigned char>(bit);
            while (kept < 8)
                index[mask][kept++] = 0x80;
        }
    }
};
constexpr CompactTable kCompact;

// Stores the bytes of `decoded` whose bit in `removed` is clear, in order, at `out`;
// writes 16 bytes whatever the count. Returns the new end of the output.
__attribute__((target("ssse3,popcnt"))) inline unsigned char*
storeCompacted(__m128i decoded, unsigned removed, unsigned char* out) {
    unsigned low = removed & 0xff;
    unsigned high = (removed >> 8) & 0xff;
    __m128i shuffle =
        _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.index[low])),
                           _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kCompact.index[high])));
    shuffle = _mm_add_epi8(shuffle, _mm_set_epi64x(0x0808080808080808LL, 0));
    __m128i packed = _mm_shuffle_epi8(decoded, shuffle);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    out += 8 - __builtin_popcount(low);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpackhi_epi64(packed, packed));
    return out + 8 - __builtin_popcount(high);
}

// A block can be done as a whole unless an '=' stands last (its escaped byte lies in
// the next block) or right before another '=', CR or LF.
inline bool needsBytewise(unsigned equals, unsigned special, unsigned lastBit) {
    return (equals & ((special >> 1) | lastBit)) != 0;
}

} // namespace

std::size_t decodeYencBodyScalar(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    decodeBytes(in, 0, size, size, out);
    return static_cast<std::size_t>(out - start);
}

// Baseline x86-64: the whole block is stored shifted by 42 and the output moves on by
// the run of plain bytes before the first special one, which is then handled alone.
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
    decodeBytes(in, i, size, size, out);
    return static_cast<std::size_t>(out - start);
}

// Every block in one go: '=', CR and LF are removed by one shuffle and the byte after
// each '=' is shifted back by a further 64. Only blocks whose escapes do not fit that
// pattern go byte by byte.
__attribute__((target("ssse3,popcnt"))) std::size_t
decodeYencBodySsse3(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    const __m128i equalsByte = _mm_set1_epi8('=');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i shift = _mm_set1_epi8(42);
    const __m128i escapeShift = _mm_set1_epi8(64);
    std::size_t i = 0;
    while (i + 16 <= size) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        __m128i equals = _mm_cmpeq_epi8(block, equalsByte);
        __m128i special = _mm_or_si128(
            equals, _mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)));
        unsigned equalsMask = static_cast<unsigned>(_mm_movemask_epi8(equals));
        unsigned specialMask = static_cast<unsigned>(_mm_movemask_epi8(special));
        if (needsBytewise(equalsMask, specialMask, 0x8000u)) {
            i = decodeBytes(in, i, i + 16, size, out);
            continue;
        }
        __m128i escaped = _mm_and_si128(_mm_slli_si128(equals, 1), escapeShift);
        __m128i decoded = _mm_sub_epi8(_mm_sub_epi8(block, shift), escaped);
        out = storeCompacted(decoded, specialMask, out);
        i += 16;
    }
    decodeBytes(in, i, size, size, out);
    return static_cast<std::size_t>(out - start);
}

// As the SSSE3 variant, 32 bytes per compare.
__attribute__((target("avx2,popcnt"))) std::size_t
decodeYencBodyAvx2(const unsigned char* in, std::size_t size, unsigned char* out) {
    unsigned char* start = out;
    const __m256i equalsByte = _mm256_set1_epi8('=');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i shift = _mm256_set1_epi8(42);
    const __m256i escapeShift = _mm256_set1_epi8(64);
    std::size_t i = 0;
    while (i + 32 <= size) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        __m256i equals = _mm256_cmpeq_epi8(block, equalsByte);
        __m256i special = _mm256_or_si256(
            equals, _mm256_or_si256(_mm256_cmpeq_epi8(block, cr), _mm256_cmpeq_epi8(block, lf)));
        unsigned equalsMask = static_cast<unsigned>(_mm256_movemask_epi8(equals));
        unsigned specialMask = static_cast<unsigned>(_mm256_movemask_epi8(special));
        if (needsBytewise(equalsMask, specialMask, 0x80000000u)) {
            i = decodeBytes(in, i, i + 32, size, out);
            continue;
        }
        // The escape marks moved on by one byte, also across the two 16-byte lanes.
        __m256i carried = _mm256_permute2x128_si256(equals, equals, 0x08);
        __m256i escaped = _mm256_and_si256(_mm256_alignr_epi8(equals, carried, 15), escapeShift);
        __m256i decoded = _mm256_sub_epi8(_mm256_sub_epi8(block, shift), escaped);
        out = storeCompacted(_mm256_castsi256_si128(decoded), specialMask & 0xffffu, out);
        out = storeCompacted(_mm256_extracti128_si256(decoded, 1), specialMask >> 16, out);
        i += 32;
    }
    decodeBytes(in, i, size, size, out);
    return static_cast<std::size_t>(out - start);
}

bool hasSsse3() {
    static const bool available =
        __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
    return available;
}

bool hasAvx2() {
    static const bool available =
        __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    return available;
}

std::size_t decodeYencBody(const unsigned char* in, std::size_t size, unsigned char* out) {
    if (hasAvx2()) return decodeYencBodyAvx2(in, size, out);
    if (hasSsse3()) return decodeYencBodySsse3(in, size, out);
    return decodeYencBodySse2(in, size, out);
}
