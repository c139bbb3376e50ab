// Fixed-size text fields of the records that cross library boundaries: a text is cut to
// fit and always terminated, never written beyond the field.
#pragma once
#include <cstddef>
#include <cstdio>

// Copies `text` (null reads as empty) into `field`.
template <size_t N> void copyField(char (&field)[N], const char* text) {
    snprintf(field, N, "%s", text ? text : "");
}
