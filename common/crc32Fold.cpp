#include "crc32Fold.h"

#include <immintrin.h>

namespace {

// Folding constants for the reflected polynomial 0xEDB88320: x^(4*128+32), x^(4*128-32),
// x^(128+32), x^(128-32) and x^64 modulo P, then P and its Barrett quotient.
alignas(16) const std::uint64_t kFold4[] = {0x0154442bd4, 0x01c6e41596};
alignas(16) const std::uint64_t kFold1[] = {0x01751997d0, 0x00ccaa009e};
alignas(16) const std::uint64_t kFold64[] = {0x0163cd6124, 0};
alignas(16) const std::uint64_t kBarrett[] = {0x01db710641, 0x01f7011641};

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const unsigned char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// `sum` times x^128 (with `constants` for that distance) plus `next`.
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i sum, __m128i constants,
                                                             __m128i next) {
    __m128i low = _mm_clmulepi64_si128(sum, constants, 0x00);
    __m128i high = _mm_clmulepi64_si128(sum, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

} // namespace

bool crc32FoldAvailable() {
    static const bool available =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return available;
}

__attribute__((target("pclmul,sse4.1"))) std::uint32_t
crc32Fold(const unsigned char* data, std::size_t size, std::uint32_t crc) {
    // Four running sums, 64 bytes a round.
    __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(data + 16);
    __m128i x3 = load(data + 32);
    __m128i x4 = load(data + 48);
    __m128i constants = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    data += 64;
    size -= 64;
    while (size >= 64) {
        x1 = fold(x1, constants, load(data));
        x2 = fold(x2, constants, load(data + 16));
        x3 = fold(x3, constants, load(data + 32));
        x4 = fold(x4, constants, load(data + 48));
        data += 64;
        size -= 64;
    }
    // Into one sum, then 16 bytes a step.
    constants = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = fold(x1, constants, x2);
    x1 = fold(x1, constants, x3);
    x1 = fold(x1, constants, x4);
    while (size >= 16) {
        x1 = fold(x1, constants, load(data));
        data += 16;
        size -= 16;
    }
    // 128 bits to 64, then Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x2 = _mm_clmulepi64_si128(x1, constants, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
    constants = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
    x2 = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), constants, 0x00), x2);
    constants = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), constants, 0x10);
    x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), constants, 0x00);
    x1 = _mm_xor_si128(x1, x2);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}
