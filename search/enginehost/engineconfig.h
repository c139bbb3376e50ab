// Configuration helpers for the engine plug-ins.
#pragma once
#include "fixedField.h"
#include "tengine.h"

// Sets the engine's host from the section named after its service in "cfg/engines.ini"
// (key "host", may carry ":port"), or to `fallback` when it is absent, blank or too long.
void readHost(tengine& engine, const char* fallback);
