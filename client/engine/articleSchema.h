// The article database's fixed files and the scripts that build and upgrade it.
// Paths are relative to the program folder, which is the working directory.
#pragma once

inline constexpr const char* ARTICLES_DB = "./data/articles.db";
inline constexpr const char* ARTICLES_SQL = "./data/articles.sql";
inline constexpr const char* UPDATE_SQL = "./data/update.sql";
inline constexpr const char* CONFIG_INI = "./config.ini";

// The schema version this program writes and expects in table vers.
inline constexpr int ARTICLES_VERSION = 100;

// Schema script: 12 lines, each ending in a line feed.
extern const char* const ARTICLES_SCHEMA;
// Upgrade script for databases of an older version: 14 lines, each ending in a line feed.
extern const char* const ARTICLES_UPDATE;
