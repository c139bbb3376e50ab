// News server sections in the config.ini of a corvane program folder, as the settings
// dialog would write them: named after the host name and listed in DEFAULT/servers, every
// connection started. At its end the program saves numactive into the section named by
// the host name, so each server needs a host name of its own.
#pragma once
#include "CorvaneInstance.h"

#include <string>

// Adds the section for the news server on `host`:`port` (a loopback name or address)
// with failure-mark number `hostId` and `connections` workers.
void addNewsServer(CorvaneInstance& corvane, const std::string& host, int port, int hostId,
                   int connections);
