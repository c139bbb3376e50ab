// Configuration helpers for the engine plug-ins.
#pragma once
#include <cstddef>
#include <cstdio>

#include "tengine.h"

// Copies `text` into a fixed field, cut to fit and always terminated.
template <size_t N> void setField(char (&field)[N], const char* text) {
    snprintf(field, N, "%s", text);
}

// Sets the engine's host from the section named after its service in "cfg/engines.ini"
// (key "host", may carry ":port"), or to `fallback` when it is absent, blank or too long.
void readHost(tengine& engine, const char* fallback);
