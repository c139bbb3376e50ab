// News server sections in the config.ini of a corvane program folder, as the settings
// dialog would write them: named in DEFAULT/servers, every connection started.
#pragma once
#include "CorvaneInstance.h"

#include <string>

// Adds the section `name` for the news server on 127.0.0.1:`port` with failure-mark
// number `hostId` and `connections` workers.
void addNewsServer(CorvaneInstance& corvane, const std::string& name, int port, int hostId,
                   int connections);
