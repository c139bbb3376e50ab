// Fixed-size text fields of the records that cross library boundaries: a text is cut to
// fit, at a character boundary, and always terminated, never written beyond the field.
#pragma once
#include "utf8Text.h"

#include <cstddef>
#include <cstring>

// Copies `text` (null reads as empty) into `field`.
template <size_t N> void copyField(char (&field)[N], const char* text) {
    const char* from = text ? text : "";
    size_t length = utf8Cut(from, strnlen(from, N - 1));
    memcpy(field, from, length);
    field[length] = 0;
}
