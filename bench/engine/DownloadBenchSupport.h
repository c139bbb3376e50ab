// What the download benchmarks share: their command line, a post of random files made
// with the post maker, the comparison of decoded files with the originals, and the raw
// read speed of the test news server beside the download.
#pragma once
#include "YencPostWriter.h"

#include <cstddef>
#include <string>
#include <vector>

struct DownloadBenchSettings {
    long long sizeMiB = 1024;
    int files = 8;
    std::vector<int> connections;
    bool raw = true;
    std::string segmentsIn; // a folder for the segment files (a tmpfs, say); empty: the run's
};

// Reads [--size MIB] [--files N] [--connections 4,8] [--no-raw] [--segments-in DIR];
// `connections` keeps its default unless given. False on anything else or on a
// connection count outside 1..`maxConnections`.
bool parseDownloadBenchSettings(int argc, char** argv, DownloadBenchSettings& settings,
                                int maxConnections);

struct RandomPost {
    std::vector<std::string> originals; // the posted files
    PostOptions options;                // spool and NZB
    long long dataBytes = 0, articleBytes = 0;
    int articles = 0;
};

// Writes `settings.files` random files of `settings.sizeMiB` MiB together into
// `base`/originals and posts them into `base`/spool with `base`/post.nzb; prints a line.
RandomPost makeRandomPost(const std::string& base, const DownloadBenchSettings& settings);
// The two files have the same bytes.
bool sameContent(const std::string& a, const std::string& b);
// Runs nntp_raw_read_bench (beside this program) once against the server on `port`
// for the articles of the post with `connections` connections. Its report is echoed on
// standard output; returns its MB/s, 0 when it did not run.
double runRawReader(const PostOptions& post, int port, int connections);
