#include "NNTPmodel.h"
#include "NNTPsock.h"
#include "NNTPtui.h"
#include "guiLoader.h"
#include "updateCheck.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

namespace {

void reload(NNTPmodel* model) {
    model->handleCommandT(cmdReload, (void*)1, nullptr);
}

// ".nzb" from the last "." on (as far as those 4 characters), or a name ending in
// ".nzb.gz", in any case.
bool namesNzb(const std::string& path, const char* extension) {
    const size_t gz = sizeof ".nzb.gz" - 1;
    return strncasecmp(extension, ".nzb", 4) == 0 ||
           (path.size() >= gz && strcasecmp(path.c_str() + path.size() - gz, ".nzb.gz") == 0);
}

// A message naming a file: "l " imports without the reload; the extension after the last
// "." says what to do with it. Returns why an import yielded nothing, else empty.
std::string handleFile(NNTPmodel* model, const char* text) {
    bool noRefresh = strncmp(text, "l ", 2) == 0;
    std::string rest = noRefresh ? text + 2 : text;
    size_t dot = rest.rfind('.');
    if (dot == std::string::npos) return "";

    // The joined command line ends every path with a blank that is not part of its name.
    std::string path = rest;
    path.erase(path.find_last_not_of(' ') + 1);
    std::string failure;
    if (namesNzb(path, rest.c_str() + dot)) {
        printf("add nzb: %s \n", rest.c_str());
        model->addnzb(path.c_str(), &failure);
    } else if (strncasecmp(rest.c_str() + dot, ".sql", 4) == 0) {
        printf("exec sql: %s \n", rest.c_str());
        model->execsql(path.c_str());
    }
    if (!noRefresh) reload(model);
    return failure;
}

} // namespace

std::string NNTPsockHandler(NNTPmodel* model, const char* text) {
    printf("\r%.78s\r", text);
    if (strlen(text) > 2) return handleFile(model, text);
    switch (text[0]) {
    case 'g':
        loadgui(static_cast<NNTPmodel_iface*>(model));
        break;
    case 'h':
        runupdate();
        break;
    case 'r':
        reload(model);
        break;
    case 't':
        loadtui(static_cast<NNTPmodel_iface*>(model));
        break;
    case 'u':
        loadtui(nullptr);
        loadgui(nullptr);
        break;
    case 'x':
        model->terminate();
        break;
    default:
        break;
    }
    return "";
}
