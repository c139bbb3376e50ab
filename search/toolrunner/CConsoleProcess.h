// Runs one console tool as a child process and captures what it prints: the base of
// the tool wrappers.
#pragma once
#include <string>
#include <vector>

class CConsoleProcess {
  public:
    virtual ~CConsoleProcess() = default;

    // Runs arguments[0] with the rest as its arguments, never through a shell, at idle
    // priority, standard output and standard error both captured into `output` and no
    // standard input. Returns once the tool has ended; the result points into `output`
    // at its last line (the final line break removed), or is null when the output holds
    // no line break or nothing was printed. `error` is 0, or the errno of the step that
    // failed (ENOENT when the tool does not exist). The tool's exit code is not examined.
    const char* executeProcess(const std::vector<std::string>& arguments, std::string& output,
                               int& error);

    // Where a tool lives: the program folder (the folder of this library) first, then
    // the folders of PATH. Empty when it is found in neither.
    static std::string locateTool(const std::string& name);

  protected:
    // A path that begins with '-' gets "./" put before it, so that the tool cannot
    // mistake a file for an option.
    static std::string pathArgument(const char* path);
};
