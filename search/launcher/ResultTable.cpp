#include "ResultTable.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Shown {
    const char* column;
    const char* title;
    int width; // negative: left-aligned
};

const Shown SHOWN[] = {
    {"result_id", "id", -12},    {"pct", "%", 4},           {"size", "size", 8}, {"age", "age", 5},
    {"newsgroup", "group", -24}, {"subject", "subject", 0},
};
constexpr size_t SUBJECT_WIDTH = 72;

int columnIndex(const tRecordData& page, const char* name) {
    for (int i = 0; i < page.cols; ++i)
        if (strcmp(page.column[i].name, name) == 0) return i;
    return -1;
}

// Cut to `width` characters (0: no limit) and aligned by `align` (negative: left) in
// ISO 8859-1, the form the texts are stored in; then converted to UTF-8 for the terminal.
std::string formatCell(const char* text, size_t width, int align) {
    std::string cell = text;
    if (width && cell.size() > width) cell = cell.substr(0, width > 3 ? width - 3 : 0) + "...";
    if (align && cell.size() < width) {
        std::string padding(width - cell.size(), ' ');
        cell = align < 0 ? cell + padding : padding + cell;
    }
    std::string out;
    for (unsigned char c : cell) {
        if (c < 0x80) {
            out += c < ' ' ? ' ' : (char)c;
        } else {
            out += (char)(0xC0 | (c >> 6));
            out += (char)(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace

void printResultTable(const tRecordData& page, int limit, FILE* out) {
    int index[sizeof SHOWN / sizeof SHOWN[0]];
    for (size_t i = 0; i < sizeof SHOWN / sizeof SHOWN[0]; ++i) {
        index[i] = columnIndex(page, SHOWN[i].column);
        fprintf(out, "%s%s", i ? " " : "",
                formatCell(SHOWN[i].title, abs(SHOWN[i].width), SHOWN[i].width).c_str());
    }
    fprintf(out, "\n");
    int shown = page.rows < limit ? page.rows : limit;
    for (int row = 0; row < shown; ++row) {
        for (size_t i = 0; i < sizeof SHOWN / sizeof SHOWN[0]; ++i) {
            const char* text = index[i] >= 0 ? page.cell(row, index[i]) : "";
            size_t width = SHOWN[i].width ? (size_t)abs(SHOWN[i].width) : SUBJECT_WIDTH;
            fprintf(out, "%s%s", i ? " " : "", formatCell(text, width, SHOWN[i].width).c_str());
        }
        fprintf(out, "\n");
    }
    if (page.rows > shown) fprintf(out, "... and %d more rows (--limit)\n", page.rows - shown);
    fprintf(out, "%d result%s\n", page.rows, page.rows == 1 ? "" : "s");
}
