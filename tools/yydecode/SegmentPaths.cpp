#include "SegmentPaths.h"

#include <algorithm>
#include <glob.h>

namespace {

std::string baseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool segmentOrderLess(const std::string& a, const std::string& b) {
    std::string nameA = baseName(a);
    std::string nameB = baseName(b);
    if (nameA.size() != nameB.size()) return nameA.size() < nameB.size();
    if (nameA != nameB) return nameA < nameB;
    return a < b;
}

std::vector<std::string> expandSegmentArguments(const std::vector<std::string>& arguments,
                                                std::vector<std::string>& unmatched) {
    std::vector<std::string> paths;
    for (const std::string& argument : arguments) {
        if (argument.find_first_of("*?[") == std::string::npos) {
            paths.push_back(argument);
            continue;
        }
        glob_t found{};
        int status = glob(argument.c_str(), GLOB_NOSORT, nullptr, &found);
        if (status == 0) {
            for (std::size_t i = 0; i < found.gl_pathc; ++i)
                paths.emplace_back(found.gl_pathv[i]);
        } else {
            unmatched.push_back(argument);
        }
        globfree(&found);
    }
    std::sort(paths.begin(), paths.end(), segmentOrderLess);
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}
