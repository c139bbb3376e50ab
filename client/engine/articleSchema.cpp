#include "articleSchema.h"

// One statement per line: the script runner executes each line on its own.
const char* const ARTICLES_SCHEMA =
    "CREATE TABLE segm  ( segmSID INTEGER PRIMARY KEY,  segmFID integer, segmNum integer,   "
    "segmBytes integer, segmMsgid TEXT,   segmState integer default 0)\n"
    "CREATE TABLE segf  ( segfSID INTEGER,  segfHost integer default 0, UNIQUE(segfSID, "
    "segfHost))\n"
    "CREATE TABLE file  ( fileFID INTEGER PRIMARY KEY, filePID integer, fileSubject TEXT, fileName "
    "TEXT,  filePoster TEXT,   fileDate integer, fileSize  integer default 0,  fileProgress "
    "integer default 0, fileType integer, fileGroup TEXT default '', segcount integer, segavail "
    "integer, parblocks integer)\n"
    "CREATE TABLE post  ( postPID INTEGER PRIMARY KEY, postDesc TEXT,   postTarget  TEXT)\n"
    "CREATE TABLE deco  ( decoFID INTEGER PRIMARY KEY, decoCheck INTEGER default 0)\n"
    "CREATE TABLE queu  ( queuFID INTEGER PRIMARY KEY, queuPrio  INTEGER default 7)\n"
    "#REATE TABLE queu  ( queuFID INTEGER PRIMARY KEY, queuPrio  INTEGER default 7, "
    "UNIQUE(queuFID, queuPrio))\n"
    "CREATE INDEX quep ON queu (queuPrio ASC)\n"
    "CREATE VIEW segn AS SELECT segmSID, segmFID, segmNum, segmBytes, segmMsgid FROM queu LEFT "
    "OUTER JOIN segm ON (queuFID=segmFID) WHERE segmState=0\n"
    "CREATE VIEW sego AS SELECT segmSID, segmFID, segmNum, segmBytes, segmMsgid FROM queu LEFT "
    "OUTER JOIN segm ON (queuFID=segmFID) WHERE segmState=0 ORDER BY queuPrio\n"
    "CREATE TABLE vers ( versID INTEGER PRIMARY KEY, version INTEGER )\n"
    "INSERT INTO  vers VALUES(1,100)\n";

// Statements that meet a newer database (a column or table that exists) fail, are
// reported and skipped; the rest brings an older database up to the current version.
const char* const ARTICLES_UPDATE =
    "ALTER TABLE file ADD COLUMN fileName TEXT\n"
    "ALTER TABLE file ADD COLUMN segcount integer\n"
    "ALTER TABLE file ADD COLUMN segavail integer\n"
    "ALTER TABLE file ADD COLUMN parblocks integer\n"
    "CREATE TABLE vers ( versID INTEGER PRIMARY KEY, version INTEGER )\n"
    "INSERT INTO  vers VALUES(1, 100)\n"
    "UPDATE file SET fileName='',segcount=0,segavail=0,parblocks=0\n"
    "UPDATE file SET segcount=(SELECT COUNT(*) FROM segm WHERE segmFID=fileFID)\n"
    "UPDATE file SET segavail=segcount\n"
    "UPDATE segm SET segmState=0\n"
    "DELETE FROM segf\n"
    "INSERT INTO queu(queuFID) SELECT decoFID FROM deco WHERE decoCheck=0\n"
    "DELETE FROM deco WHERE decoCheck=0\n"
    "VACUUM file\n";
