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

// A message naming a file: "l " imports without the reload; the extension after the last
// "." says what to do with it.
void handleFile(NNTPmodel* model, const char* text) {
    bool noRefresh = strncmp(text, "l ", 2) == 0;
    std::string rest = noRefresh ? text + 2 : text;
    size_t dot = rest.rfind('.');
    if (dot == std::string::npos) return;

    // The joined command line ends every path with a blank that is not part of its name.
    std::string path = rest;
    path.erase(path.find_last_not_of(' ') + 1);
    const char* extension = rest.c_str() + dot;
    if (strncasecmp(extension, ".nzb", 4) == 0) {
        printf("add nzb: %s \n", rest.c_str());
        model->addnzb(path.c_str());
    } else if (strncasecmp(extension, ".sql", 4) == 0) {
        printf("exec sql: %s \n", rest.c_str());
        model->execsql(path.c_str());
    }
    if (!noRefresh) reload(model);
}

} // namespace

void NNTPsockHandler(NNTPmodel* model, const char* text) {
    printf("\r%.78s\r", text);
    if (strlen(text) > 2) {
        handleFile(model, text);
        return;
    }
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
}
