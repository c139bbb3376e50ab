// Results tables of any size for the benchmarks that read pages from them.
#pragma once
#include <string>

namespace bench {

// SQL that fills the results table with `count` rows that look like what the index sites
// list: a counter, a quoted file name made of two title words, a year, a quality tag and
// a part number, and the yEnc part count.
inline std::string generateResultRows(int count) {
    std::string words;
    const char* list[] = {"holiday", "summer",  "winter",  "ocean",   "mountain", "city",
                          "river",   "forest",  "desert",  "island",  "night",    "morning",
                          "garden",  "castle",  "bridge",  "harbor",  "valley",   "canyon",
                          "meadow",  "glacier", "volcano", "prairie", "lagoon",   "delta",
                          "tundra",  "savanna", "jungle",  "reef",    "cliff",    "dune"};
    int id = 0;
    for (const char* a : list)
        for (const char* b : {"story", "trip", "album", "docs", "live", "archive", "tales",
                              "journey", "sessions", "diary"})
            words += std::string(words.empty() ? "" : ",") + "(" + std::to_string(id++) + ",'" + a +
                     "." + b + "')";
    return "CREATE TEMP TABLE words(id INTEGER PRIMARY KEY, w TEXT);"
           "INSERT INTO words VALUES" +
           words +
           ";"
           "BEGIN;"
           "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(count) +
           "), "
           "r(i, word, year, tag) AS MATERIALIZED (SELECT i, abs(random()) % 300, 1980 + "
           "abs(random()) % 45, "
           "abs(random()) % 4 FROM n) "
           "INSERT INTO result SELECT 1000000 + i, "
           "CASE i % 3 WHEN 0 THEN 'binsearch' WHEN 1 THEN 'nzbindex' ELSE 'yabsearch' END, 0, "
           "90 + i % 11, (40 + i % 11) || '/50', "
           "'[' || (i % 97 + 1) || '/97] - \"' || w.w || '.' || year || '.' || "
           "CASE tag WHEN 0 THEN '1080p' WHEN 1 THEN '720p' WHEN 2 THEN 'DVDRip' ELSE 'FLAC' END "
           "|| '-GRP' || (i % 61) || '.part' || (i % 40) || '.rar\" yEnc (1/' || (i % 200 + 1) || "
           "')', "
           "w.w || '.rar', (i * 7919) % 9000, "
           "'a.b.' || CASE i % 5 WHEN 0 THEN 'movies' WHEN 1 THEN 'multimedia' WHEN 2 THEN "
           "'sounds.flac' WHEN 3 THEN 'documentaries' ELSE 'teevee' END, '', "
           "'poster' || (i % 300) || '@example.invalid', (i * 13) % 1500, 0 "
           "FROM r JOIN words w ON w.id = word;"
           "COMMIT;";
}

} // namespace bench
