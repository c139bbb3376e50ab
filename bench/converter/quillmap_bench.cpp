// Import of a large NZB: 100 files of 1000 segments each are converted with quillmap and
// the script is loaded into a fresh article database, as the model imports a file.
// Prints the time of each phase; run it under /usr/bin/time -v for the peak memory.
#include "articleSchema.h"
#include "quillmap.h"
#include "sqliteDB.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kFiles = 100;
constexpr int kSegments = 1000;

void writeNzb(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>\r\n"
           "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" "
           "\"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\r\n"
           "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\r\n"
           " <head>\r\n  <meta type=\"title\">Holiday pictures</meta>\r\n </head>\r\n";
    char line[512];
    for (int file = 1; file <= kFiles; ++file) {
        std::snprintf(line, sizeof line,
                      " <file poster=\"Uploader &lt;uploader@example.com&gt;\" date=\"%d\" "
                      "subject=\"[%d/%d] - &quot;holiday.part%03d.rar&quot; yEnc (1/%d)\">\r\n",
                      1700000000 + file, file, kFiles, file, kSegments);
        out << line
            << "  <groups>\r\n   <group>alt.binaries.pictures.holiday</group>\r\n"
               "   <group>alt.binaries.misc</group>\r\n  </groups>\r\n  <segments>\r\n";
        for (int segment = 1; segment <= kSegments; ++segment) {
            std::snprintf(line, sizeof line,
                          "   <segment bytes=\"%d\" number=\"%d\">part%dof%d.%08X%04X"
                          "@powerpost2000AA.local</segment>\r\n",
                          397000 + (segment * 37) % 900, segment, segment, kSegments,
                          file * 2654435761u, segment);
            out << line;
        }
        out << "  </segments>\r\n </file>\r\n";
    }
    out << "</nzb>\r\n";
}

long msSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

} // namespace

int main() {
    char pattern[] = "/tmp/quillmap_bench_XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    const std::string nzb = folder + "/holiday.nzb";
    const std::string script = folder + "/holiday.sql";
    const std::string schema = folder + "/articles.sql";
    writeNzb(nzb);
    std::ofstream(schema, std::ios::binary) << ARTICLES_SCHEMA;
    long rows = 0;
    long convertMs = 0;
    long loadMs = 0;
    {
        sqliteDB db;
        db.open((folder + "/articles.db").c_str(), schema.c_str());

        auto start = std::chrono::steady_clock::now();
        quillmap(nzb.c_str(), script.c_str(), 0, 0);
        convertMs = msSince(start);

        start = std::chrono::steady_clock::now();
        db.load(script.c_str());
        loadMs = msSince(start);

        int count = 0;
        db.exec("SELECT COUNT(*) FROM segm", cb_max, &count);
        rows = count;
    }
    std::printf("nzb %ld bytes, segments stored %ld\n",
                static_cast<long>(std::filesystem::file_size(nzb)), rows);
    std::printf("quillmap=%ld ms load2db=%ld ms total=%ld ms\n", convertMs, loadMs,
                convertMs + loadMs);
    std::filesystem::remove_all(folder);
    return rows == static_cast<long>(kFiles) * kSegments ? 0 : 1;
}
