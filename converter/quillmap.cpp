#include "quillmap.h"

#include "cNzbParser.h"

extern "C" void quillmap(const char* nzb, const char* script, int postBase, int fileBase) {
    cNzbParser parser;
    parser.parseNZB(nzb, script, postBase, fileBase);
}
