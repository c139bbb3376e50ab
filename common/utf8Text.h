// Texts are UTF-8 throughout. Input in a declared single-byte encoding is converted
// where it enters; bytes that do not form valid UTF-8 are read in that single-byte
// encoding (Latin-1 when none is declared), so every text that leaves here is UTF-8.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The single-byte encoding that bytes outside valid UTF-8 are read in.
enum class eCharset { latin1, cp1252 };

// The encoding a declaration names ("ISO-8859-1", "windows-1252", "utf-8", ...): cp1252
// for windows-1252, Latin-1 for everything else.
eCharset charsetNamed(std::string_view name);

// Writes the UTF-8 form of `code` (at most U+10FFFF) to `out`, which has room for 4
// bytes, and returns its length.
std::size_t utf8Encode(unsigned code, char* out);

// Converts `in` into `out` (`size` bytes with the terminator). Valid UTF-8 sequences pass
// unchanged, every other byte is read in `fallback`. Returns the length written, or
// `size` when the text does not fit (`out` then holds no complete text).
std::size_t toUtf8(std::string_view in, char* out, std::size_t size, eCharset fallback);
std::string toUtf8(std::string_view in, eCharset fallback = eCharset::latin1);

// The longest length up to `length` at which `text` (at least `length` bytes, or
// terminated) can be cut without splitting a character.
inline std::size_t utf8Cut(const char* text, std::size_t length) {
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
        --length;
    return length;
}
