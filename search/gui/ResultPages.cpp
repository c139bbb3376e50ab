#include "ResultPages.h"

#include "fixedField.h"

#include <cstring>

ResultPages::ResultPages(const char* table) : page(std::make_unique<tRecordData>()) {
    copyField(page->table, table);
}

void ResultPages::show(std::unique_ptr<tRecordData> fresh) {
    if (!fresh) return;
    std::lock_guard<std::mutex> guard(settings);
    // Same descriptors: the settings of the shown page are the newer ones. A page that
    // learnt its descriptors just now keeps the ones the database gave it.
    if (fresh->cols == page->cols && page->cols > 0) {
        for (int i = 0; i < page->cols; ++i)
            memcpy(fresh->column[i].filter, page->column[i].filter, sizeof page->column[i].filter);
        fresh->sortcol = page->sortcol;
        fresh->desc = page->desc;
    }
    page = std::move(fresh);
}

std::unique_ptr<tRecordData> ResultPages::blank() const {
    auto fresh = std::make_unique<tRecordData>();
    std::lock_guard<std::mutex> guard(settings);
    memcpy(fresh->table, page->table, sizeof fresh->table);
    memcpy(fresh->column, page->column, sizeof fresh->column);
    fresh->cols = page->cols;
    fresh->sortcol = page->sortcol;
    fresh->desc = page->desc;
    return fresh;
}

bool ResultPages::park(std::unique_ptr<tRecordData> fresh) {
    std::lock_guard<std::mutex> guard(settings);
    bool wasEmpty = !parked;
    parked = std::move(fresh);
    return wasEmpty;
}

std::unique_ptr<tRecordData> ResultPages::takeParked() {
    std::lock_guard<std::mutex> guard(settings);
    return std::move(parked);
}

int columnIndex(const tRecordData& page, const char* name) {
    if (!name) return -1;
    for (int i = 0; i < page.cols; ++i)
        if (strncmp(page.column[i].name, name, sizeof page.column[i].name) == 0) return i;
    return -1;
}

bool ResultPages::getFilter(const char* name, std::string& text) const {
    std::lock_guard<std::mutex> guard(settings);
    int col = columnIndex(*page, name);
    if (col < 0) return false;
    const tColumn& column = page->column[col];
    text.assign(column.filter, strnlen(column.filter, sizeof column.filter));
    return true;
}

bool ResultPages::setFilter(const char* name, const char* text) {
    std::lock_guard<std::mutex> guard(settings);
    int col = columnIndex(*page, name);
    if (col < 0) return false;
    copyField(page->column[col].filter, text);
    return true;
}

std::string ResultPages::filterOf(int col) const {
    std::lock_guard<std::mutex> guard(settings);
    if (col < 0 || col >= page->cols) return {};
    const tColumn& column = page->column[col];
    return std::string(column.filter, strnlen(column.filter, sizeof column.filter));
}

bool ResultPages::setFilterOf(int col, const char* text) {
    std::lock_guard<std::mutex> guard(settings);
    if (col < 0 || col >= page->cols) return false;
    copyField(page->column[col].filter, text);
    return true;
}

void ResultPages::sortBy(int col) {
    std::lock_guard<std::mutex> guard(settings);
    if (col < 0 || col >= page->cols) return;
    if (col == page->sortcol) {
        page->desc = page->desc ? 0 : 1;
    } else {
        page->sortcol = col;
        page->desc = 0;
    }
}

int ResultPages::sortColumn() const {
    std::lock_guard<std::mutex> guard(settings);
    return page->sortcol;
}

bool ResultPages::descending() const {
    std::lock_guard<std::mutex> guard(settings);
    return page->desc != 0;
}
