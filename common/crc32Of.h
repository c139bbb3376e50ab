// CRC-32 (zlib's) of a buffer of any length: by folding where the processor can, zlib
// for the rest. Header only for the zlib part: only its users link zlib.
#pragma once
#include "crc32Fold.h"

#include <cstddef>
#include <cstdint>
#include <zlib.h>

inline std::uint32_t crc32Of(const unsigned char* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    std::size_t folded = size & ~std::size_t(15);
    if (folded >= 64 && crc32FoldAvailable()) {
        crc = ~crc32Fold(data, folded, ~0u) & 0xffffffffu;
        data += folded;
        size -= folded;
    }
    // zlib takes the length as a 32-bit count.
    while (size > 0) {
        uInt chunk = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}
