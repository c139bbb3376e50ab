#include "CMiravelDB.h"
#include "sqlText.h"

#include "dblock.h"
#include "fixedField.h"
#include "sizeText.h"
#include "sqlfilter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <string>

const char* const CMiravelDB::SCHEMA =
    "BEGIN;CREATE TABLE result (result_id TEXT, engine TEXT, hide INTEGER, pct INTEGER, "
    "parts TEXT, subject TEXT COLLATE NOCASE, filename TEXT COLLATE NOCASE, size INTEGER, "
    "newsgroup TEXT, category TEXT, poster TEXT COLLATE NOCASE, age INTEGER, tstamp INTEGER, "
    "UNIQUE(result_id, engine));INSERT INTO result VALUES('dummy','' ,0,0,'', '','',0,'','',"
    "'' ,0,0);CREATE VIEW results AS SELECT result_id, engine, pct, subject, size, newsgroup, "
    "age FROM result;CREATE VIEW ageupdate AS SELECT DISTINCT tstamp FROM result;CREATE VIEW "
    "ageoffsync AS SELECT age, tstamp FROM result LIMIT 1;COMMIT;";

const char* const CMiravelDB::PATH = "cfg/miravel.db";

namespace {

struct ColumnLayout {
    const char* name;
    int32_t width, align, type;
};

// How the window shows the columns it knows; every other column is a hidden text.
constexpr ColumnLayout LAYOUTS[] = {
    {"subject", 565, 0, COLTYPE_TEXT},   {"size", 60, 2, COLTYPE_SIZE},
    {"newsgroup", 140, 0, COLTYPE_TEXT}, {"age", 30, 2, COLTYPE_NUMBER},
    {"parts", 0, 1, COLTYPE_TEXT},
};

void setUpColumns(tRecordData& page, int cols, char** names) {
    page.cols = cols < tRecordData::MAXCOLS ? cols : tRecordData::MAXCOLS;
    for (int i = 0; i < page.cols; ++i) {
        tColumn& column = page.column[i];
        copyField(column.name, names[i]);
        column.width = 0;
        column.align = 0;
        column.type = COLTYPE_TEXT;
        for (const ColumnLayout& layout : LAYOUTS) {
            if (strcmp(column.name, layout.name) != 0) continue;
            column.width = layout.width;
            column.align = layout.align;
            column.type = layout.type;
        }
        if (strcmp(column.name, "subject") == 0) page.sortcol = i;
    }
    printf("CMiravelDB:: set coldata %d cols \n", page.cols);
}

void appendSize(std::string& data, const char* value) {
    long long megabytes = value ? strtoll(value, nullptr, 10) : 0;
    // Sorting stays on the stored number; the unit is only for the eye.
    data += megabytes > 0 ? sizeText(megabytes * 1000000) : " ";
}

// The table name as the caller left it, never read past its field.
std::string fieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

// End of the current local day, in seconds.
time_t endOfToday() {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    local.tm_hour = 23;
    local.tm_min = 59;
    local.tm_sec = 59;
    local.tm_isdst = -1;
    return mktime(&local);
}

} // namespace

int cb_number(void* arg, int cols, char** values, char**) {
    if (cols > 0) *static_cast<int*>(arg) = values[0] ? atoi(values[0]) : 0;
    return 0;
}

int cb_rdata(void* arg, int cols, char** values, char** names) {
    tRecordData& page = *static_cast<tRecordData*>(arg);
    if (page.cols == 0) {
        setUpColumns(page, cols, names);
        return 0;
    }
    if ((page.rows + 1) * page.cols > tRecordData::MAXCELLS) return 1;
    int32_t* offsets = page.offset + page.rows * page.cols;
    for (int i = 0; i < page.cols; ++i) {
        offsets[i] = (int32_t)page.data.size();
        const char* value = i < cols ? values[i] : nullptr;
        switch (page.column[i].type) {
        case COLTYPE_SIZE:
            appendSize(page.data, value);
            break;
        case COLTYPE_HIDDEN:
            break; // an empty cell, so the offset never points into the next one
        default:
            if (value) page.data += value;
        }
        page.data += '\0';
    }
    ++page.rows;
    return 0;
}

CMiravelDB::CMiravelDB() : db(PATH) {
    db.open(SCHEMA);
    prepareConnection();
}

CMiravelDB::~CMiravelDB() = default;

// Pages arrive as one transaction each; the write-ahead log makes such a commit several
// times cheaper, and results can always be fetched again should the last commits be lost.
// The covering index serves the window's default order (subject) without sorting and
// without visiting the table, and lets a full page end the scan early.
// A damaged or foreign file is only reported, never replaced: it may be the user's only
// copy, and "Reset Database" starts a new one on request.
void CMiravelDB::prepareConnection() {
    int rc = db.execL("PRAGMA journal_mode=WAL;PRAGMA synchronous=NORMAL;"
                      "PRAGMA cache_size=-32768;PRAGMA busy_timeout=10000;"
                      "CREATE INDEX IF NOT EXISTS result_bysubject ON result(subject, engine, "
                      "result_id, pct, size, newsgroup, age);");
    if (rc != SQLITE_OK)
        printf("CMiravelDB:: %s is not a usable results database (%s) \n", PATH,
               sqlite3_errstr(rc));
}

int CMiravelDB::resetDB() {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    int rc = db.resetDB(SCHEMA);
    prepareConnection();
    return rc;
}

int CMiravelDB::insertData(const char* sql) {
    std::lock_guard<std::recursive_mutex> guard(dblock());
    int rc = db.execL(sql);
    if (rc != SQLITE_OK && rc != SQLITE_CANTOPEN) {
        printf("CMiravelDB:: script failed (%d), rolled back \n", rc);
        db.execL("ROLLBACK"); // fails harmlessly when no transaction was open
    }
    return rc;
}

int CMiravelDB::selectCount(const char* table, const char* const* columns, const char* filters,
                            int step) {
    std::string sql = "SELECT COUNT(*) FROM ";
    sql += table;
    bool first = true;
    std::string condition;
    for (int i = 0; columns && columns[i]; ++i) {
        sqlfilter(condition, columns[i], fieldText(filters + (size_t)i * step, step).c_str(),
                  COLTYPE_TEXT);
        if (condition.empty()) continue;
        sql += first ? " WHERE " : " AND ";
        sql += condition;
        first = false;
    }
    printf("selectCount:: %s \n", sql.c_str());
    int count = 0;
    if (db.execL(sql.c_str(), cb_number, &count) != SQLITE_OK) return 0;
    return count;
}

std::string CMiravelDB::resultFileName(const char* engine, const char* resultId) {
    std::string sql = "SELECT filename FROM result WHERE engine='";
    appendSqlText(sql, engine);
    sql += "' AND result_id='";
    appendSqlText(sql, resultId);
    sql += "' LIMIT 1";
    std::string name;
    std::lock_guard<std::recursive_mutex> guard(dblock());
    db.execL(
        sql.c_str(),
        [](void* arg, int, char** values, char**) {
            *static_cast<std::string*>(arg) = values[0] ? values[0] : "";
            return 0;
        },
        &name);
    return name;
}

int CMiravelDB::selectData(tRecordData& page) {
    const std::string table = fieldText(page.table, sizeof page.table);
    if (page.cols < 0 || page.cols > tRecordData::MAXCOLS) page.cols = 0; // never past `column`
    if (page.cols == 0) {
        page.data.clear();
        page.rows = 0;
        for (tColumn& column : page.column)
            column = tColumn{};
        memset(page.offset, 0, sizeof page.offset);
        db.execL(("SELECT * FROM " + table + " LIMIT 1").c_str(), cb_rdata, &page);
    }
    printf("CMiravelDB:: fetch rowdata %s \n", table.c_str());
    page.data.clear();
    page.rows = 0;
    // A reader that asks for a cell past the new rows finds the empty first text, never an
    // offset left from a longer page that now points past the end of `data`.
    memset(page.offset, 0, sizeof page.offset);

    std::string sql = "SELECT * FROM " + table;
    bool first = true;
    std::string condition;
    for (int i = 0; i < page.cols; ++i) {
        const tColumn& column = page.column[i];
        sqlfilter(condition, column.name, fieldText(column.filter, sizeof column.filter).c_str(),
                  column.type);
        if (condition.empty()) continue;
        sql += first ? " WHERE " : " AND ";
        sql += condition;
        first = false;
    }
    if (page.sortcol >= 0 && page.sortcol < page.cols) {
        sql += " ORDER BY ";
        sql += page.column[page.sortcol].name;
        sql += page.desc ? " DESC" : " ASC";
    }
    int rc = db.execL(sql.c_str(), cb_rdata, &page);
    printf("refresh[%d]: %dx%d \n%s \n", rc, page.rows, page.cols, sql.c_str());
    return rc;
}

int CMiravelDB::updateAge() {
    auto sentinel = std::make_unique<tRecordData>();
    copyField(sentinel->table, "ageoffsync");
    selectData(*sentinel);
    if (sentinel->rows < 1 || sentinel->cols < 2) return 0;

    const time_t endOfDay = endOfToday();
    int storedAge = atoi(sentinel->cell(0, 0));
    int age = (int)((endOfDay - atoll(sentinel->cell(0, 1))) / 86400);
    printf("update required currage=%d age=%d  >> %s \n", storedAge, age,
           storedAge == age ? "NO" : "YES");
    if (storedAge == age) return 0;

    auto stamps = std::make_unique<tRecordData>();
    copyField(stamps->table, "ageupdate");
    selectData(*stamps);
    std::string script = "BEGIN;\n";
    char line[96];
    for (int row = 0; row < stamps->rows; ++row) {
        long long stamp = atoll(stamps->cell(row, 0));
        snprintf(line, sizeof line, "UPDATE OR IGNORE result SET age=%lld WHERE tstamp=%lld;\n",
                 (long long)((endOfDay - stamp) / 86400), stamp);
        script += line;
    }
    script += "COMMIT;\n";
    insertData(script.c_str());
    return 1;
}
