#include "InstalledTree.h"

#include "TestFolders.h"
#include "childProcess.h"

#include <filesystem>

namespace fs = std::filesystem;

const InstalledTree& InstalledTree::get() {
    static TempFolder folder("brindle_destdir");
    static InstalledTree tree;
    if (!tree.destdir.empty() || folder.path.empty()) return tree;
    setenv("DESTDIR", folder.path.c_str(), 1);
    tchildRun run = runChild({CORV_CMAKE, "--install", CORV_BUILD_DIR, "--prefix", "/usr"});
    unsetenv("DESTDIR");
    tree.output = run.output;
    if (run.error == 0 && run.exitCode == 0) tree.destdir = folder.path;
    return tree;
}

std::map<std::string, std::string> treeSnapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_directory() && !entry.is_symlink()) continue;
        std::error_code ignored;
        auto time = fs::last_write_time(entry.path(), ignored).time_since_epoch().count();
        auto size = entry.is_regular_file() ? entry.file_size() : 0;
        files[fs::relative(entry.path(), folder).string()] =
            std::to_string(size) + " " + std::to_string(time);
    }
    return files;
}
