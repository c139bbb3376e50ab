#include "quillmap.h"

#include "cNzbParser.h"

#include <cstdio>

extern "C" void quillmap(const char* nzb, const char* script, int postBase, int fileBase) {
    quillmapChecked(nzb, script, postBase, fileBase, nullptr, 0);
}

extern "C" int quillmapChecked(const char* nzb, const char* script, int postBase, int fileBase,
                               char* why, std::size_t size) {
    cNzbParser parser;
    parser.parseNZB(nzb, script, postBase, fileBase);
    if (size > 0) std::snprintf(why, size, "%s", parser.failureText().c_str());
    return parser.failureText().empty() ? 0 : -1;
}
