// A fresh corvane made ready for one benchmark download from the test news server.
#pragma once
#include "CorvaneInstance.h"
#include "DownloadBenchSupport.h"

#include <string>

// Decoded files go to ./download, segment files below settings.segmentsIn when given,
// and one server section names the test news server on `port` with `connections`
// connections. Returns the segment folder made for this run, empty when the program
// folder's own is used.
std::string prepareDownload(CorvaneInstance& corvane, const DownloadBenchSettings& settings,
                            int port, int connections);
