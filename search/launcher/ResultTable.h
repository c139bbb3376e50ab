// Prints one page of results as a table a person can read in a terminal.
#pragma once
#include "tRecordData.h"

#include <cstdio>

// At most `limit` rows, then a line telling how many more the page holds.
void printResultTable(const tRecordData& page, int limit, FILE* out);
