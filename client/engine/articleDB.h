// Start-up of the article database: the schema file, the version check and the upgrade
// of a database written by an older version of the program.
#pragma once

class sqliteDB;

// Writes ./data/articles.sql when it is missing. On failure shows the configuration
// error box and returns -1: the program cannot run without it and should end.
int createSchemaFile();

// Writes ./data/update.sql with the upgrade script and ./data/articles.sql with the
// current schema. 0 when both were written.
int writeUpgradeScripts();

// The model's opening steps: open ./data/articles.db (built from the schema script when
// missing), make segments that were in work fetchable again, check the version and,
// when it is not the current one, upgrade the database after telling the user, then
// clear stale temporary files. Returns the result of opening the database.
int openArticleDB(sqliteDB& db);
