// Decoding of a yEnc body: the encoded lines between the "=ypart" (or "=ybegin") line
// and the "=yend" line, with the keyword lines already cut off.
#pragma once

#include <cstddef>

// Every variant writes at most `size` bytes of data to `out` and returns how many; `out`
// must have room for `size` + kDecodeSlack bytes, since the block variants store whole
// blocks. CR and LF are dropped wherever they stand; "=" takes the next byte as an
// escape, except before CR or LF (a broken escape at a line end), where it is dropped.
// A "=" as the very last byte is dropped too. All variants give the same result.
inline constexpr std::size_t kDecodeSlack = 64;

std::size_t decodeYencBodyScalar(const unsigned char* in, std::size_t size, unsigned char* out);
std::size_t decodeYencBodySse2(const unsigned char* in, std::size_t size, unsigned char* out);
// Only to be called when the processor has them (hasSsse3(), hasAvx2()).
std::size_t decodeYencBodySsse3(const unsigned char* in, std::size_t size, unsigned char* out);
std::size_t decodeYencBodyAvx2(const unsigned char* in, std::size_t size, unsigned char* out);
bool hasSsse3();
bool hasAvx2();

// The fastest variant this processor runs.
std::size_t decodeYencBody(const unsigned char* in, std::size_t size, unsigned char* out);
