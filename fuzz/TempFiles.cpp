#include "TempFiles.h"
#include "FuzzOracle.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

const std::string& fuzzFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "corv_fuzz_XXXXXX").string();
        if (!mkdtemp(pattern.data())) fuzzFail("cannot make a temporary folder");
        static std::string removed = pattern;
        atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
        return pattern;
    }();
    return folder;
}

void writeWhole(const std::string& path, std::string_view data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), (std::streamsize)data.size());
    if (!out) fuzzFail("cannot write " + path);
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
