// CRC-32 (zlib's) of a buffer of any length. Header only: only its users link zlib.
#pragma once
#include <cstddef>
#include <cstdint>
#include <zlib.h>

inline std::uint32_t crc32Of(const unsigned char* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes the length as a 32-bit count.
    while (size > 0) {
        uInt chunk = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = crc32(crc, data, chunk);
        data += chunk;
        size -= chunk;
    }
    return static_cast<std::uint32_t>(crc);
}
