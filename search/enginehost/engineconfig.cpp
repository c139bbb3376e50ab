#include "engineconfig.h"

#include <string>

#include "profile.h"

void readHost(tengine& engine, const char* fallback) {
    const std::string host = profile::getString(engine.name, "host", fallback, "cfg/engines.ini");
    if (host.empty() || host.size() >= sizeof engine.host) {
        printf("%s:: unusable host \"%.60s\" in cfg/engines.ini, using %s \n", engine.name,
               host.c_str(), fallback);
        copyField(engine.host, fallback);
        return;
    }
    copyField(engine.host, host.c_str());
}
