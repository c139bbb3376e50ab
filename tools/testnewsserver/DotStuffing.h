// Dot-stuffing of a multi-line NNTP answer: every line that begins with '.' gets one
// more '.' in front, so that the client never takes it for the end marker.
#pragma once
#include <cstddef>
#include <string>

// Appends `size` bytes of `data` to `out`, dot-stuffed. `data` starts at a line start.
// Only the places where a line begins with a dot are searched for (memmem), so the
// plain stretches between them are copied in one append each.
void appendDotStuffed(std::string& out, const char* data, size_t size);
