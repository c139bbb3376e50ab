// NZBGet (the Debian package) as the peer of the side-by-side benchmark: configured in a
// fresh temporary folder of its own, run in standalone mode on one NZB against the test
// news server, and waited for. Nothing of it is used but the program.
#pragma once
#include <string>

struct NzbgetRun {
    bool ran = false;        // started and ended on its own within the time limit
    double seconds = 0;      // from the start to its exit
    double cpuSeconds = 0;   // user + system, with its children
    long peakKiB = 0;        // the most resident memory it had
    long long tempBytes = 0; // peak space of its temporary and queue folders
    std::string destination; // where the finished files are
    std::string folder;      // its folder (removed by the caller)
};

// `tls`: the server speaks TLS (certificate not verified). Gives up after `limitSeconds`.
NzbgetRun runNzbget(const std::string& nzb, int port, int connections, bool tls,
                    int limitSeconds);
