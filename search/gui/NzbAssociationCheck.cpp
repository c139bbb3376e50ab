#include "NzbAssociationCheck.h"

#include "CRegistry.h"

#include <sys/stat.h>

#include <filesystem>

const char* const kNzbNotRegistered =
    "Warning: extension .nzb not registered... downloads will not be opened automatically.";

namespace {

const char* const kClient = "./corvane";

bool isFile(const char* path) {
    struct stat info;
    return path[0] != '\0' && stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

std::string registeredProgram() {
    char program[CRegistry::kProgramSize];
    char extension[] = ".nzb";
    CRegistry::GetFileAssociation(program, extension);
    return program;
}

} // namespace

std::string checkNzbAssociation() {
    std::string program = registeredProgram();
    if (isFile(program.c_str())) return "";
    if (isFile(kClient)) {
        std::error_code failure;
        std::string fullPath = std::filesystem::absolute(kClient, failure).lexically_normal();
        char extension[] = ".nzb";
        if (!failure) CRegistry::SetFileAssociation(fullPath.data(), extension);
        program = registeredProgram();
    }
    return isFile(program.c_str()) ? "" : kNzbNotRegistered;
}
