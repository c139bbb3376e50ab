// One page of result rows as the window lists it: the column descriptors (learnt once
// from the table or view), the caller's filters and sort order, and the cell texts.
// The cells are kept as one growing text with an offset table, so a page of thousands
// of rows costs two allocations instead of one per cell.
#pragma once
#include <cstdint>
#include <string>

// How a column is shown and filtered.
enum : int32_t {
    COLTYPE_NUMBER = 0,
    COLTYPE_SIZE = 1, // megabytes, shown with their unit (700 MB, 1.5 GB)
    COLTYPE_TEXT = 2,
    COLTYPE_HIDDEN = 4, // text that is not copied into the page
};

struct tColumn {
    char name[32] = {};
    int32_t width = 0; // pixels; 0 hides the column
    int32_t align = 0; // 0 left, 1 centred, 2 right
    int32_t type = COLTYPE_NUMBER;
    char filter[64] = {}; // filter text set by the caller; empty for none
};

struct tRecordData {
    static constexpr int MAXCOLS = 32;
    static constexpr int MAXCELLS = 100000;

    char table[32] = {}; // table or view to read, set by the caller
    tColumn column[MAXCOLS];
    int32_t sortcol = 0;
    char desc = 0;                 // non-zero sorts descending
    std::string data;              // every cell text followed by a zero byte
    int32_t offset[MAXCELLS] = {}; // cell row * cols + col starts at data[offset[...]]
    int32_t cols = 0;              // 0 until the descriptors are set up
    int32_t rows = 0;

    // The text of one cell; valid until the next read into this page.
    const char* cell(int row, int col) const { return data.c_str() + offset[row * cols + col]; }
};
