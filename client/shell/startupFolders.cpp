#include "startupFolders.h"

#include "articleDB.h"
#include "articleSchema.h"
#include "fileHelpers.h"
#include "msgbox.h"
#include "profile.h"

#include <cstdio>
#include <string>

namespace {

struct tbaseFolder {
    const char* key;
    const char* fallback;
};
const tbaseFolder BASE_FOLDERS[] = {{"tempfolder", "./temp"}, {"datafolder", "./data"}};

// Standard error: standard output becomes the log file only later, in the running
// instance, and a start from the desktop has no terminal either.
void logProblem(const char* key, const char* what) {
    const std::string folder = profile::getString("DEFAULT", key, "", CONFIG_INI);
    fprintf(stderr, "corvane: config.ini: %s \"%s\" %s\n", key, folder.c_str(), what);
    fflush(stderr);
}

} // namespace

bool prepareFolders() {
    for (const tbaseFolder& folder : BASE_FOLDERS) {
        if (folder_exists("DEFAULT", folder.key, folder.fallback, CONFIG_INI, 1) == 0) continue;
        logProblem(folder.key, "cannot be created");
        msgbox::show("Configuration error, please reinstall..\nUnable to create base folders",
                     "Configuration Error", msgbox::ICONERROR);
        return false;
    }
    if (folder_exists("DEFAULT", "downloadto", "./temp", CONFIG_INI, 1) != 0) {
        logProblem("downloadto", "cannot be created, reset to ./temp");
        profile::writeString("DEFAULT", "downloadto", "./temp", CONFIG_INI);
        msgbox::show("Configuration error\n\nDownload folder reset to default",
                     "Configuration Error", msgbox::ICONINFORMATION);
    }
    return createSchemaFile() == 0;
}
