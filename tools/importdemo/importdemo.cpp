// corvane-importdemo: imports NZB files into a fresh article database the way the
// download client does (schema file, start-up steps, converter, script under the lock)
// and shows what was stored.
//
//   corvane-importdemo [--delete] [file.nzb ...]
//
// Without NZB arguments the sample.nzb beside the program is imported. The temporary
// program folder is kept for a look unless --delete is given.
#include "TextTable.h"
#include "articleDB.h"
#include "articleSchema.h"
#include "fileHelpers.h"
#include "nzbImport.h"
#include "programFolder.h"
#include "sqliteDB.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The converter writes the script into the program folder's temp, named after the NZB.
std::string scriptPathFor(const fs::path& nzb) {
    return "./temp/" + nzb.stem().string() + ".sql";
}

// One import, with its id bases and timings shown.
bool importOne(sqliteDB& db, const fs::path& nzb) {
    std::string script = scriptPathFor(nzb);
    tnzbImport import;
    bool converted = importNzb(db, nzb.c_str(), script.c_str(), &import);
    printf("import %s: posts after %d, files after %d\n", nzb.c_str(), import.postBase,
           import.fileBase);
    if (!converted) {
        printf("import %s: the converter wrote no script\n", nzb.c_str());
        return false;
    }
    printf("import %s: converted in %ld ms, loaded in %ld ms\n", nzb.c_str(), import.convertMs,
           import.loadMs);
    return true;
}

void printDatabase(sqliteDB& db) {
    std::lock_guard<sqliteDB> guard(db);
    TextTable posts({"postPID", "postDesc", "files", "bytes"});
    posts.addRows(db, "SELECT postPID, postDesc, COUNT(fileFID), IFNULL(SUM(fileSize), 0) "
                      "FROM post LEFT OUTER JOIN file ON (postPID=filePID) GROUP BY postPID");
    posts.print("Posts");

    TextTable files(
        {"fileFID", "post", "fileName", "type", "size", "segments", "blocks", "groups"});
    files.addRows(db,
                  "SELECT fileFID, filePID, fileName, CASE fileType WHEN 1 THEN 'RAR' "
                  "WHEN 2 THEN 'PAR2' WHEN 3 THEN 'NZB' WHEN 4 THEN 'NFO' WHEN 5 THEN 'SFV' "
                  "WHEN 6 THEN 'AVI' WHEN 7 THEN 'sample AVI' ELSE 'other' END, fileSize, "
                  "segavail || '/' || segcount, parblocks, fileGroup FROM file ORDER BY fileFID");
    files.print("Files");

    TextTable subjects({"fileFID", "fileSubject", "filePoster"});
    subjects.addRows(db, "SELECT fileFID, fileSubject, filePoster FROM file ORDER BY fileFID");
    subjects.print("Subjects as stored");

    TextTable queue({"queuFID", "queuPrio", "fileName"});
    queue.addRows(db, "SELECT queuFID, queuPrio, fileName FROM queu LEFT OUTER JOIN file "
                      "ON (queuFID=fileFID) ORDER BY queuPrio, queuFID");
    queue.print("Download queue");

    int segments = 0;
    db.exec("SELECT COUNT(*) FROM segm WHERE segmState=0", cb_max, &segments);
    printf("\n%d segments to fetch\n", segments);
}

} // namespace

int main(int argc, char** argv) {
    bool removeFolder = false;
    std::vector<fs::path> nzbs;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--delete"))
            removeFolder = true;
        else if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
            printf("usage: %s [--delete] [file.nzb ...]\n", argv[0]);
            return 0;
        } else
            nzbs.push_back(fs::absolute(argv[i]));
    }
    if (nzbs.empty()) nzbs.push_back(fs::path(programFolder()) / "sample.nzb");
    for (const fs::path& nzb : nzbs) {
        if (!fs::is_regular_file(nzb)) {
            fprintf(stderr, "no such NZB file: %s\n", nzb.c_str());
            return 2;
        }
    }

    char pattern[] = "/tmp/corvane-demo-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("cannot make a temporary program folder");
        return 1;
    }
    fs::path folder = pattern;
    fs::current_path(folder);
    printf("program folder: %s\n", folder.c_str());
    folder_exists("DEFAULT", "datafolder", "./data", CONFIG_INI, 1);
    folder_exists("DEFAULT", "tempfolder", "./temp", CONFIG_INI, 1);

    int status = 0;
    if (createSchemaFile() != 0) {
        status = 1;
    } else {
        sqliteDB db;
        openArticleDB(db);
        if (!db.db) {
            fprintf(stderr, "the article database could not be opened\n");
            status = 1;
        } else {
            for (const fs::path& nzb : nzbs)
                if (!importOne(db, nzb)) status = 1;
            printDatabase(db);
        }
    }

    fs::current_path("/");
    if (removeFolder) {
        fs::remove_all(folder);
        printf("\nprogram folder %s removed\n", folder.c_str());
    } else {
        printf("\nprogram folder kept: %s (database: %s/data/articles.db; --delete removes it)\n",
               folder.c_str(), folder.c_str());
    }
    return status;
}
