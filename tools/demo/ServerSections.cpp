#include "ServerSections.h"

#include "profile.h"

void addNewsServer(CorvaneInstance& corvane, const std::string& host, int port, int hostId,
                   int connections) {
    std::string file = corvane.home() + "/config.ini";
    std::string servers = profile::getString("DEFAULT", "servers", "", file.c_str());
    corvane.configure("DEFAULT", "servers", servers + host + ";");
    const char* section = host.c_str();
    corvane.configure(section, "hostname", host);
    corvane.configure(section, "hostport", std::to_string(port));
    corvane.configure(section, "hostid", std::to_string(hostId));
    corvane.configure(section, "maxconnection", std::to_string(connections));
    corvane.configure(section, "numactive", std::to_string(connections));
}
