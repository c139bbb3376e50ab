#include "ProcessUsage.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The fields of /proc/<pid>/stat after the command name: state is [0], so field N of
// proc(5) is at N - 3.
bool statFields(pid_t pid, std::string& name, std::vector<std::string>& fields) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return false;
    size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) return false;
    name = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 1));
    fields.clear();
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields.size() > 14;
}

} // namespace

ProcessUsage processUsage(pid_t pid) {
    ProcessUsage usage;
    std::string name;
    std::vector<std::string> fields;
    if (statFields(pid, name, fields)) {
        double tick = (double)sysconf(_SC_CLK_TCK);
        usage.cpuSeconds = (atof(fields[11].c_str()) + atof(fields[12].c_str())) / tick;
        usage.childCpuSeconds = (atof(fields[13].c_str()) + atof(fields[14].c_str())) / tick;
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) usage.peakKiB = atol(line.c_str() + 6);
    return usage;
}

pid_t childNamed(const char* name) {
    std::error_code ignored;
    for (auto it = std::filesystem::directory_iterator("/proc", ignored);
         it != std::filesystem::directory_iterator(); ++it) {
        pid_t pid = atoi(it->path().filename().c_str());
        std::string command;
        std::vector<std::string> fields;
        if (pid > 0 && statFields(pid, command, fields) && command == name &&
            atoi(fields[1].c_str()) == getpid())
            return pid;
    }
    return -1;
}
