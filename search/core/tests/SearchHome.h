// A fresh program folder of the search tool, with its cfg folder, that is the working
// folder for one test: every test starts with no database and no response files.
#pragma once
#include "TestFolders.h"

#include <filesystem>

class SearchHome : public WorkingFolder {
  public:
    SearchHome() : WorkingFolder("miravel_test") {
        if (!path.empty()) std::filesystem::create_directories(path + "/cfg");
    }
};
