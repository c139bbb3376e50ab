// The results database "cfg/miravel.db": every result the engines have delivered, read
// back page by page with the user's filters and sort order.
#pragma once
#include "sqliteDB.h"
#include "tRecordData.h"

#include <string>

// Row callbacks in SQLite's form; non-zero stops the statement.
// cb_number: the integer value of the row's first cell into *(int*)arg (last row wins).
int cb_number(void* arg, int cols, char** values, char** names);
// cb_rdata: sets up the descriptors of the tRecordData at `arg` from the first row when
// it has none yet, else appends the row; stops when the cell table is full.
int cb_rdata(void* arg, int cols, char** values, char** names);

class CMiravelDB {
  public:
    static const char* const SCHEMA;
    static const char* const PATH;

    CMiravelDB();
    ~CMiravelDB();
    CMiravelDB(const CMiravelDB&) = delete;
    CMiravelDB& operator=(const CMiravelDB&) = delete;

    // Drops every result; only the 'dummy' row remains.
    int resetDB();
    // Runs a script of statements. A failing script is rolled back as a whole so that
    // a broken page never leaves a transaction open on the connection.
    int insertData(const char* sql);
    // Rows of `table` whose named columns contain the text filters found at every
    // `step` bytes of `filters`; `columns` ends with a null. 0 when the statement fails.
    int selectCount(const char* table, const char* const* columns, const char* filters, int step);
    // Fills `page` with the rows of its table that pass its filters, in its sort order.
    // SQLite's result code: 4 (abort) when the cell table filled up before the last row.
    int selectData(tRecordData& page);
    // The file name column of one result: an engine's NZB address for engines that
    // download by link. Empty when there is no such row.
    std::string resultFileName(const char* engine, const char* resultId);
    // Recomputes ages after a day change; 1 when it rewrote them, else 0.
    int updateAge();

  private:
    void prepareConnection();

    sqliteDB db;
};
