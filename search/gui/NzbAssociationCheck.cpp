#include "NzbAssociationCheck.h"

#include "CRegistry.h"
#include "DesktopEntry.h"
#include "childProcess.h"

const char* const kNzbNotRegistered =
    "Warning: extension .nzb not registered... downloads will not be opened automatically.";

namespace {

const char kInstalledEntry[] = "corvane.desktop";

bool associationWorks() {
    char program[CRegistry::kProgramSize];
    char extension[] = ".nzb";
    CRegistry::GetFileAssociation(program, extension);
    return !programOnDisk(program).empty();
}

} // namespace

std::string checkNzbAssociation(const std::string& client) {
    if (associationWorks()) return "";
    char extension[] = ".nzb";
    if (CRegistry::SetFileAssociationToEntry(kInstalledEntry, extension) != 0 && !client.empty() &&
        client[0] == '/' && isExecutableFile(client)) {
        std::string path = client;
        CRegistry::SetFileAssociation(path.data(), extension);
    }
    return associationWorks() ? "" : kNzbNotRegistered;
}
