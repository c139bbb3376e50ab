#include "runloop.h"

#include "CMiravel.h"
#include "CScoutlet.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

extern "C" __attribute__((visibility("default"))) int runloop(int argc, char** argv, char**) {
    if (argc < 3 || !argv[0]) return 0;
    std::string folder;
    if (const char* slash = strrchr(argv[0], '/')) folder.assign(argv[0], slash - argv[0]);
    const char* home = getenv("MIRAVEL_HOME");
    const bool useProgramFolder = folder.empty() || (home && *home);

    CMiravel miravel(useProgramFolder ? nullptr : folder.c_str(), nullptr);
    if (CScoutlet* binsearch = miravel.getengine("binsearch")) {
        miravel.httpResponse("./tmp/lumo0001.htm", binsearch->host(), 0, "");
    }
    auto results = std::make_unique<tRecordData>();
    strcpy(results->table, "result");
    miravel.selectData(*results);
    return 0;
}
