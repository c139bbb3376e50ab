// A post of one small text file made with the post maker, for tests that import into a
// running instance.
#pragma once
#include "TestFolders.h"
#include "YencPostWriter.h"

#include <filesystem>
#include <string>

// Writes `folder`/`name`.txt, its articles into `folder`/spool and its NZB; returns the
// NZB's path.
inline std::string makeSmallNzb(const std::string& folder, const std::string& name) {
    std::filesystem::create_directories(folder + "/spool");
    std::string original = folder + "/" + name + ".txt";
    writeFile(original, "A small file for the import of " + name + ".\n");
    PostOptions options;
    options.spool = folder + "/spool";
    options.nzb = folder + "/" + name + ".nzb";
    makePost({original}, options);
    return options.nzb;
}
