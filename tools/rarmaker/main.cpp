// rarmaker: writes stored (uncompressed) RAR4 or RAR5 archives and volume sets, for tests
// and benchmarks. See README.md for the command line.
#include "RarSetWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: rarmaker [--format 5|4] [--volume-size BYTES] [--naming part|old] OUTPUT\n"
                 "                ([--name-as NAME] FILE | --symlink NAME=TARGET)...\n"
                 "OUTPUT is the set's path without \".rar\": out/set makes out/set.rar, or\n"
                 "out/set.part1.rar… (part naming) or out/set.rar, out/set.r00… (old, RAR4).\n");
}

bool number(const char* text, unsigned long long& value) {
    if (!text || !*text || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0';
}

struct CommandLine {
    RarSetOptions options;
    std::string output;
    std::vector<RarEntry> entries;
};

// Returns false after telling what is wrong.
bool parse(int argc, char** argv, CommandLine& line) {
    std::string nameAs;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word.rfind("--", 0) != 0) {
            if (line.output.empty()) {
                line.output = word;
            } else {
                line.entries.push_back(fileEntry(word, nameAs));
                nameAs.clear();
            }
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "rarmaker: %s needs a value\n", word.c_str());
            return false;
        }
        std::string value = argv[++i];
        unsigned long long amount = 0;
        if (word == "--format" && (value == "4" || value == "5")) {
            line.options.format = value == "4" ? RarFormat::rar4 : RarFormat::rar5;
        } else if (word == "--volume-size" && number(value.c_str(), amount) && amount > 0) {
            line.options.volumeSize = amount;
        } else if (word == "--naming" && (value == "part" || value == "old")) {
            line.options.naming = value == "old" ? RarNaming::old : RarNaming::part;
        } else if (word == "--name-as" && !value.empty()) {
            nameAs = value;
        } else if (word == "--symlink" && value.find('=') != std::string::npos && value[0] != '=' &&
                   value.back() != '=') {
            std::size_t equals = value.find('=');
            line.entries.push_back(linkEntry(value.substr(0, equals), value.substr(equals + 1)));
        } else {
            std::fprintf(stderr, "rarmaker: bad option %s %s\n", word.c_str(), value.c_str());
            return false;
        }
    }
    if (!nameAs.empty()) {
        std::fprintf(stderr, "rarmaker: --name-as %s is not followed by a file\n", nameAs.c_str());
        return false;
    }
    if (line.output.empty() || line.entries.empty()) {
        std::fprintf(stderr, "rarmaker: needs an OUTPUT and at least one FILE or --symlink\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    CommandLine line;
    try {
        if (!parse(argc, argv, line)) {
            usage();
            return 2;
        }
        if (line.output.size() > 4 && line.output.compare(line.output.size() - 4, 4, ".rar") == 0)
            line.output.resize(line.output.size() - 4);
        for (const std::string& volume : writeRarSet(line.output, line.entries, line.options))
            std::printf("%s\n", volume.c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "rarmaker: %s\n", error.what());
        return 1;
    }
    return 0;
}
