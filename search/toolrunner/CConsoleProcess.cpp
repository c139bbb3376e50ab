#include "CConsoleProcess.h"

#include "childProcess.h"
#include "programFolder.h"

#include <utility>

namespace {

// The tools lie in the program folder, beside this library.
std::string toolFolder() {
    return folderOf((const void*)&toolFolder);
}

} // namespace

std::string CConsoleProcess::locateTool(const std::string& name) {
    return locateProgram(name, {toolFolder()});
}

std::string CConsoleProcess::pathArgument(const char* path) {
    std::string text = path ? path : "";
    return !text.empty() && text[0] == '-' ? "./" + text : text;
}

const char* CConsoleProcess::executeProcess(const std::vector<std::string>& arguments,
                                            std::string& output, int& error) {
    tchildRun run = runChild(arguments);
    output = std::move(run.output);
    error = run.error;
    if (output.empty()) return nullptr;
    if (output.back() == '\n') output.pop_back();
    size_t lastBreak = output.rfind('\n');
    return lastBreak == std::string::npos ? nullptr : output.c_str() + lastBreak + 1;
}
