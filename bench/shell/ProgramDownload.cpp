#include "ProgramDownload.h"

#include "ServerSections.h"

#include <filesystem>

namespace fs = std::filesystem;

std::string prepareDownload(CorvaneInstance& corvane, const DownloadBenchSettings& settings,
                            int port, int connections) {
    corvane.configure("DEFAULT", "downloadto", "./download");
    std::string segments;
    if (!settings.segmentsIn.empty()) {
        segments = settings.segmentsIn + "/" + fs::path(corvane.home()).filename().string();
        fs::create_directories(segments);
        corvane.configure("DEFAULT", "tempfolder", segments);
    }
    addNewsServer(corvane, "127.0.0.1", port, 1, connections);
    return segments;
}
