// A fresh corvane made ready for one benchmark download from the test news server.
#pragma once
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"
#include "DownloadTimeline.h"
#include "ProcessUsage.h"

#include <string>

// Decoded files go to ./download, segment files below settings.segmentsIn when given,
// and one server section names the test news server on `port` with `connections`
// connections. Returns the segment folder made for this run, empty when the program
// folder's own is used.
std::string prepareDownload(CorvaneInstance& corvane, const DownloadBenchSettings& settings,
                            int port, int connections);

// Starts corvane with the post's NZB and follows the download until every file is
// decoded (or nothing moved for `stallSeconds`); `usage` is read at the end, before the
// caller ends the program. False when it did not start.
bool downloadToTheEnd(CorvaneInstance& corvane, const RandomPost& post, int stallSeconds,
                      DownloadTimeline& timeline, ProcessUsage& usage);
