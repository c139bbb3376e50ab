// What the download benchmarks share: random files to post, their comparison with the
// decoded ones, and the raw read speed of the test news server beside the download.
#pragma once
#include <cstddef>
#include <string>

// Writes `size` pseudo-random bytes (the same for the same `seed`) to `path`.
void writeRandom(const std::string& path, size_t size, unsigned seed);
// The two files have the same bytes.
bool sameContent(const std::string& a, const std::string& b);
// Runs nntp_raw_read_bench (beside this program) once against the server on `port`
// for the articles of `nzb` in `spool` with `connections` connections. Its report is
// echoed on standard output; returns its MB/s, 0 when it did not run.
double runRawReader(const std::string& spool, const std::string& nzb, int port, int connections);
