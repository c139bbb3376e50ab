// postmaker: posts files as yEnc multi-part articles into a spool folder and writes
// their NZB. See README.md for the command line.
#include "YencPostWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void usage() {
    std::fprintf(stderr, "usage: postmaker --spool DIR --nzb FILE [--part-size BYTES] "
                         "[--line-length N] [--group NAME] [--poster NAME] [--subject TEXT] "
                         "[--id-domain NAME] FILE...\n");
}

bool number(const char* text, unsigned long long& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' && text[0] != '-';
}

} // namespace

int main(int argc, char** argv) {
    PostOptions options;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long amount = 0;
        if (word == "--") {
            files.insert(files.end(), argv + i + 1, argv + argc);
            break;
        }
        if (word.rfind("--", 0) != 0) {
            files.push_back(word);
            continue;
        }
        if (!value) {
            std::fprintf(stderr, "postmaker: %s needs a value\n", word.c_str());
            return 2;
        }
        ++i;
        if (word == "--spool") {
            options.spool = value;
        } else if (word == "--nzb") {
            options.nzb = value;
        } else if (word == "--part-size" && number(value, amount) && amount > 0) {
            options.partSize = amount;
        } else if (word == "--line-length" && number(value, amount) && amount < 1000) {
            options.lineLength = static_cast<int>(amount);
        } else if (word == "--group") {
            options.group = value;
        } else if (word == "--poster") {
            options.poster = value;
        } else if (word == "--subject") {
            options.subject = value;
        } else if (word == "--id-domain") {
            options.idDomain = value;
        } else {
            std::fprintf(stderr, "postmaker: bad option %s %s\n", word.c_str(), value);
            usage();
            return 2;
        }
    }
    if (options.spool.empty() || options.nzb.empty() || files.empty()) {
        usage();
        return 2;
    }
    try {
        std::vector<PostedFile> posted = makePost(files, options);
        for (const PostedFile& file : posted)
            std::printf("\"%s\" %llu bytes, %zu articles\n", file.name.c_str(),
                        static_cast<unsigned long long>(file.size), file.segments.size());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "postmaker: %s\n", error.what());
        return 1;
    }
    return 0;
}
