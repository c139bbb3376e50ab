#include "NameCheck.h"
#include "FuzzOracle.h"

void checkStaysInFolder(const std::string& name, const std::string& from) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255 ||
        name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        fuzzFail("the output name '" + name + "' leaves the folder", from);
}
