#include "articleDB.h"

#include "articleSchema.h"
#include "fileHelpers.h"
#include "msgbox.h"
#include "profile.h"
#include "sqliteDB.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace {

int readVersion(sqliteDB& db) {
    int version = 0;
    std::lock_guard<sqliteDB> guard(db);
    db.exec("SELECT version FROM vers", cb_max, &version);
    return version;
}

// False for a file that is no SQLite database at all (or a damaged one), where an
// upgrade could only fail statement by statement.
bool readable(sqliteDB& db) {
    std::lock_guard<sqliteDB> guard(db);
    return sqlite3_exec(db.db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
           SQLITE_OK;
}

// Temporary files of the segments and decodes made before the upgrade.
void removeStaleTempFiles() {
    std::string temp = profile::getString("DEFAULT", "tempfolder", "./temp", CONFIG_INI);
    if (temp.empty()) temp = "./temp"; // a blank key must not turn the patterns into "/*.seg"
    for (const char* kind : {"*.seg", "*.segm", "*.dec", "*.sql"})
        removeM((temp + "/" + kind).c_str());
}

// A script cut short (a full disk) would later build or upgrade a broken database: it
// is removed, so the next start writes it again in full.
int writeScript(const char* path, const char* text) {
    int rc = file_create(path, text, strlen(text));
    if (rc == -1) unlink(path);
    return rc;
}

} // namespace

int createSchemaFile() {
    if (file_exists(ARTICLES_SQL) == 0) return 0;
    if (writeScript(ARTICLES_SQL, ARTICLES_SCHEMA) == 0) return 0;
    msgbox::show("Configuration error, please reinstall..\nUnable to create the database",
                 "Configuration Error", msgbox::OK | msgbox::ICONERROR);
    return -1;
}

int writeUpgradeScripts() {
    int update = writeScript(UPDATE_SQL, ARTICLES_UPDATE);
    int schema = writeScript(ARTICLES_SQL, ARTICLES_SCHEMA);
    return update != 0 ? update : schema;
}

int openArticleDB(sqliteDB& db) {
    int rc = db.open(ARTICLES_DB, ARTICLES_SQL);
    {
        std::lock_guard<sqliteDB> guard(db);
        db.exec("UPDATE segm SET segmState=0 WHERE segmState=1");
    }
    int version = readVersion(db);
    printf("update check: v%d\n", version);
    if (version == ARTICLES_VERSION) return rc;
    if (!db.db) { // nothing to upgrade; every statement reports code 14 from here on
        printf("update skipped: database not open\n");
        return rc;
    }
    if (!readable(db)) { // leave a foreign or damaged file exactly as it is
        printf("update skipped: %s is not a readable article database\n", ARTICLES_DB);
        return rc;
    }

    bool scriptWritten = writeUpgradeScripts() == 0;
    if (!scriptWritten) printf("update script not written: %s\n", UPDATE_SQL);
    msgbox::show("Database needs to be updated.\nThis can take a while, please be patient.",
                 "Update DB", msgbox::OK);
    db.load(UPDATE_SQL);
    version = readVersion(db);
    if (version != ARTICLES_VERSION && scriptWritten) {
        // The script only inserts the version row; an existing row with another number
        // would keep it, and the upgrade would run again at every start. Without the
        // script nothing was upgraded: the version stays, so the next start tries again.
        std::lock_guard<sqliteDB> guard(db);
        db.exec("INSERT OR REPLACE INTO vers VALUES(1,100)");
        db.exec("SELECT version FROM vers", cb_max, &version);
    }
    printf("update complete: %d\n", version);
    removeStaleTempFiles();
    return rc;
}
