#include "TextTable.h"

#include "sqliteDB.h"

#include <algorithm>
#include <cstdio>

TextTable::TextTable(std::vector<std::string> headings) : headings(std::move(headings)) {}

int TextTable::addRows(sqliteDB& db, const char* sql) {
    return db.exec(sql, cb_row, this);
}

void TextTable::addRow(std::vector<std::string> cells) {
    cells.resize(headings.size());
    rows.push_back(std::move(cells));
}

int TextTable::cb_row(void* table, int columns, char** values, char**) {
    std::vector<std::string> cells;
    for (int i = 0; i < columns; ++i)
        cells.emplace_back(values[i] ? values[i] : "");
    static_cast<TextTable*>(table)->addRow(std::move(cells));
    return 0;
}

void TextTable::print(const char* title) const {
    std::vector<size_t> widths;
    for (const std::string& heading : headings)
        widths.push_back(heading.size());
    for (const auto& row : rows)
        for (size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());

    auto printRow = [&](const std::vector<std::string>& cells) {
        for (size_t i = 0; i < cells.size(); ++i) {
            int width = i + 1 < cells.size() ? (int)widths[i] : 0; // no trailing blanks
            printf("%s%-*s", i ? "  " : "", width, cells[i].c_str());
        }
        printf("\n");
    };
    printf("\n%s (%zu)\n", title, rows.size());
    printRow(headings);
    std::vector<std::string> rule;
    for (size_t width : widths)
        rule.emplace_back(width, '-');
    printRow(rule);
    for (const auto& row : rows)
        printRow(row);
}
