#include "ArchivedPost.h"

#include "RarSetWriter.h"
#include "childProcess.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

std::vector<std::string> ArchivedPost::files() const {
    std::vector<std::string> all = volumes;
    all.push_back(par2Index);
    all.insert(all.end(), par2Volumes.begin(), par2Volumes.end());
    return all;
}

ArchivedPost makeArchivedPost(const std::vector<std::string>& originals, const std::string& folder,
                              const std::string& name, std::uint64_t volumeSize,
                              int recoveryPercent, std::uint64_t blockSize) {
    ArchivedPost post;
    try {
        std::vector<RarEntry> entries;
        for (const std::string& original : originals)
            entries.push_back(fileEntry(original));
        fs::create_directories(folder);
        post.volumes = writeRarSet(folder + "/" + name, entries,
                                   {RarFormat::rar5, volumeSize, RarNaming::part});
    } catch (const std::exception& error) {
        post.error = error.what();
        return post;
    }
    std::string par2 = locateProgram("par2", {});
    if (par2.empty()) {
        post.error = "par2 not found on PATH (Debian's package par2)";
        return post;
    }
    post.par2Index = folder + "/" + name + ".par2";
    std::vector<std::string> command = {par2,
                                        "create",
                                        "-q",
                                        "-q",
                                        "-s" + std::to_string(blockSize),
                                        "-r" + std::to_string(recoveryPercent),
                                        "-n4",
                                        post.par2Index};
    command.insert(command.end(), post.volumes.begin(), post.volumes.end());
    tchildRun run = runChild(command);
    if (run.exitCode != 0) {
        post.error =
            "par2 create failed (exit " + std::to_string(run.exitCode) + "): " + run.output;
        return post;
    }
    const std::string prefix = name + ".vol";
    for (const auto& item : fs::directory_iterator(folder)) {
        std::string file = item.path().filename().string();
        if (file.rfind(prefix, 0) == 0 && item.path().extension() == ".par2")
            post.par2Volumes.push_back(item.path().string());
    }
    std::sort(post.par2Volumes.begin(), post.par2Volumes.end());
    return post;
}
