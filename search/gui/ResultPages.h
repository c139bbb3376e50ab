// The results panel's pages. The shown page belongs to the window thread, which alone
// reads its cells. The column settings (filters, sort order) may be changed from any
// thread. A refresh builds a fresh page from a copy of the settings on its own thread and
// parks it whole; the window thread then takes it over. So the window never reads a page
// that is being rebuilt, and the refresh never waits for the window.
#pragma once
#include "tRecordData.h"

#include <memory>
#include <mutex>
#include <string>

// The position of the first column of `page` called `name`, -1 when there is none.
int columnIndex(const tRecordData& page, const char* name);

class ResultPages {
  public:
    // `table` is the view the pages are read from.
    explicit ResultPages(const char* table);

    // Window thread only.
    const tRecordData& shown() const { return *page; }
    // Makes `fresh` the shown page. Filters and sort order set since `fresh` was started
    // are carried over, so no change made during a refresh is lost.
    void show(std::unique_ptr<tRecordData> fresh);

    // Any thread. A new, empty page with the table, the column descriptors, the filters
    // and the sort order of now: the starting point of a refresh.
    std::unique_ptr<tRecordData> blank() const;
    // The refresh thread parks each fresh page here; a page parked earlier and not yet
    // taken is dropped. True when nothing was parked before, so the window must be told.
    bool park(std::unique_ptr<tRecordData> fresh);
    // The latest parked page, or null.
    std::unique_ptr<tRecordData> takeParked();

    // Any thread. The filter of the first column called `name`; false when none is.
    bool getFilter(const char* name, std::string& text) const;
    // Sets the filter of the first column called `name`, cut to 63 characters (null
    // clears it); false when no column has that name.
    bool setFilter(const char* name, const char* text);
    // The filter of column `col`, empty outside the columns.
    std::string filterOf(int col) const;
    // Sets the filter of column `col`; false outside the columns.
    bool setFilterOf(int col, const char* text);
    // A header click: the sort column flips its direction, another column sorts ascending.
    void sortBy(int col);
    int sortColumn() const;
    bool descending() const;

  private:
    mutable std::mutex settings; // the filters, sortcol and desc of `page`; the parked page
    std::unique_ptr<tRecordData> page;
    std::unique_ptr<tRecordData> parked;
};
