// CRC-32 (the zlib/yEnc polynomial) by carry-less multiplication: several times faster
// than a table. Needs PCLMUL and SSE4.1; see crc32Of.h for the call that picks it.
#pragma once
#include <cstddef>
#include <cstdint>

bool crc32FoldAvailable();

// Continues the raw CRC register `crc` (the inverted form, ~0 at the start) over `size`
// bytes; `size` must be at least 64 and a multiple of 16.
std::uint32_t crc32Fold(const unsigned char* data, std::size_t size, std::uint32_t crc);
