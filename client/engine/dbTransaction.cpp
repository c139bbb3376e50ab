#include "dbTransaction.h"

dbTransaction::dbTransaction(sqliteDB& db) : db(db), guard(db) {
    db.execBound("BEGIN", {});
}

dbTransaction::~dbTransaction() {
    if (db.execBound("COMMIT", {}) != SQLITE_OK && db.db && !sqlite3_get_autocommit(db.db))
        db.exec("ROLLBACK");
}
