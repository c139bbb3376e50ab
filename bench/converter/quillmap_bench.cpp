// Import of a large NZB: files of 1000 segments each are converted with quillmap and the
// script is loaded into a fresh article database, as the model imports a file. The NZB
// is written in each layout indexers serve: pretty (one element a line, CRLF), minified
// (one line) and gzip-compressed. Prints the time of each phase and the peak memory.
//   quillmap_bench                    100,000 segments in each layout (goal: < 1.0 s each)
//   quillmap_bench --segments 2000000 --layout minified
//                                     one layout, the peak memory of a huge NZB (< 64 MiB)
#include "articleSchema.h"
#include "quillmap.h"
#include "sqliteDB.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <sys/resource.h>

namespace {

constexpr int kSegmentsPerFile = 1000;

// Writes the NZB through `write` (plain or gzip), `eol` between elements.
template <typename Write> void writeNzb(Write write, long segments, const char* eol) {
    char line[512];
    auto put = [&](const char* text) { write(text, std::strlen(text)); };
    std::snprintf(line, sizeof line,
                  "<?xml version=\"1.0\" encoding=\"iso-8859-1\" ?>%s<!DOCTYPE nzb PUBLIC "
                  "\"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/"
                  "nzb-1.1.dtd\">%s<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">%s <head>%s"
                  "  <meta type=\"title\">Holiday pictures</meta>%s </head>%s",
                  eol, eol, eol, eol, eol, eol);
    put(line);
    const long files = segments / kSegmentsPerFile;
    for (long file = 1; file <= files; ++file) {
        std::snprintf(line, sizeof line,
                      " <file poster=\"Uploader &lt;uploader@example.com&gt;\" date=\"%ld\" "
                      "subject=\"[%ld/%ld] - &quot;holiday.part%04ld.rar&quot; yEnc (1/%d)\">%s"
                      "  <groups>%s   <group>alt.binaries.pictures.holiday</group>%s"
                      "   <group>alt.binaries.misc</group>%s  </groups>%s  <segments>%s",
                      1700000000 + file, file, files, file, kSegmentsPerFile, eol, eol, eol, eol,
                      eol, eol);
        put(line);
        for (int segment = 1; segment <= kSegmentsPerFile; ++segment) {
            std::snprintf(line, sizeof line,
                          "   <segment bytes=\"%d\" number=\"%d\">part%dof%d.%08lX%04X"
                          "@powerpost2000AA.local</segment>%s",
                          397000 + (segment * 37) % 900, segment, segment, kSegmentsPerFile,
                          (unsigned long)(file * 2654435761u), segment, eol);
            put(line);
        }
        std::snprintf(line, sizeof line, "  </segments>%s </file>%s", eol, eol);
        put(line);
    }
    std::snprintf(line, sizeof line, "</nzb>%s", eol);
    put(line);
}

void writeLayout(const std::string& path, const std::string& layout, long segments) {
    if (layout == "gzip") {
        gzFile out = gzopen(path.c_str(), "wb6");
        writeNzb([&](const char* text, size_t size) { gzwrite(out, text, (unsigned)size); },
                 segments, "\r\n");
        gzclose(out);
        return;
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    writeNzb([&](const char* text, size_t size) { std::fwrite(text, 1, size, out); }, segments,
             layout == "minified" ? "" : "\r\n");
    std::fclose(out);
}

long msSince(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
}

// Processor time of this process, which a busy machine inflates less than the wall time.
long cpuMsSince(std::clock_t start) {
    return static_cast<long>((std::clock() - start) * 1000 / CLOCKS_PER_SEC);
}

// Imports one layout in a fresh folder; false when not every segment was stored.
bool importLayout(const std::string& layout, long segments) {
    char pattern[] = "/tmp/quillmap_bench_XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return false;
    }
    const std::string folder = pattern;
    const std::string nzb = folder + "/holiday.nzb" + (layout == "gzip" ? ".gz" : "");
    const std::string script = folder + "/holiday.sql";
    const std::string schema = folder + "/articles.sql";
    writeLayout(nzb, layout, segments);
    std::FILE* schemaFile = std::fopen(schema.c_str(), "wb");
    std::fputs(ARTICLES_SCHEMA, schemaFile);
    std::fclose(schemaFile);
    long stored = 0;
    long convertMs = 0;
    long loadMs = 0;
    long convertCpuMs = 0;
    long loadCpuMs = 0;
    {
        sqliteDB db;
        db.open((folder + "/articles.db").c_str(), schema.c_str());
        auto start = std::chrono::steady_clock::now();
        std::clock_t cpu = std::clock();
        quillmap(nzb.c_str(), script.c_str(), 0, 0);
        convertMs = msSince(start);
        convertCpuMs = cpuMsSince(cpu);
        start = std::chrono::steady_clock::now();
        cpu = std::clock();
        db.load(script.c_str());
        loadMs = msSince(start);
        loadCpuMs = cpuMsSince(cpu);
        int count = 0;
        db.exec("SELECT COUNT(*) FROM segm", cb_max, &count);
        stored = count;
    }
    std::printf("%-9s nzb %ld bytes, segments stored %ld: quillmap=%ld ms load2db=%ld ms "
                "total=%ld ms (processor time %ld + %ld = %ld ms)\n",
                layout.c_str(), (long)std::filesystem::file_size(nzb), stored, convertMs, loadMs,
                convertMs + loadMs, convertCpuMs, loadCpuMs, convertCpuMs + loadCpuMs);
    std::filesystem::remove_all(folder);
    return stored == segments;
}

} // namespace

int main(int argc, char** argv) {
    long segments = 100000;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--segments") == 0) segments = std::atol(argv[i + 1]);
        if (std::strcmp(argv[i], "--layout") == 0) only = argv[i + 1];
    }
    segments -= segments % kSegmentsPerFile;
    bool complete = true;
    for (const char* layout : {"pretty", "minified", "gzip"})
        if (only.empty() || only == layout) complete = importLayout(layout, segments) && complete;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return complete ? 0 : 1;
}
