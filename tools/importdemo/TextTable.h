// Rows of a query printed as an aligned text table.
#pragma once
#include <string>
#include <vector>

class sqliteDB;

class TextTable {
  public:
    explicit TextTable(std::vector<std::string> headings);

    // Appends the rows of `sql` (one cell per column, NULL as empty); the caller holds
    // the database lock. Returns SQLite's result.
    int addRows(sqliteDB& db, const char* sql);
    void addRow(std::vector<std::string> cells);
    // Prints the title, the headings, a rule and every row, each column as wide as its
    // widest cell.
    void print(const char* title) const;

  private:
    static int cb_row(void* table, int columns, char** values, char** names);

    std::vector<std::string> headings;
    std::vector<std::vector<std::string>> rows;
};
