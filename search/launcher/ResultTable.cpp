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

// Characters of a UTF-8 text: every byte that does not continue a sequence.
size_t characters(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text)
        count += (c & 0xC0) != 0x80;
    return count;
}

// The first `count` characters of a UTF-8 text.
std::string firstCharacters(const std::string& text, size_t count) {
    size_t end = 0;
    for (size_t seen = 0; end < text.size(); ++end) {
        if (((unsigned char)text[end] & 0xC0) != 0x80 && seen++ == count) break;
    }
    return text.substr(0, end);
}

// Cut to `width` characters (0: no limit) and aligned by `align` (negative: left); the
// texts are UTF-8, as the terminal shows them. Control characters become blanks.
std::string formatCell(const char* text, size_t width, int align) {
    std::string cell = text;
    for (char& c : cell)
        if ((unsigned char)c < ' ') c = ' ';
    const size_t length = characters(cell);
    if (width && length > width) cell = firstCharacters(cell, width > 3 ? width - 3 : 0) + "...";
    const size_t shown = characters(cell);
    if (align && shown < width) {
        std::string padding(width - shown, ' ');
        cell = align < 0 ? cell + padding : padding + cell;
    }
    return cell;
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
