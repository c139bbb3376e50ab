// One test web server per search engine, each serving its site's fixture pages from
// tests/fixtures/web, and the "cfg/engines.ini" that points the engines at them.
// Responses find their engine by host, so every engine gets a server (port) of its own.
// Given a certificate for localhost, the servers speak HTTPS and the engines are
// pointed at "https://localhost:<port>".
#pragma once
#include "TestWebServerProcess.h"

#include <array>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

class EngineWebServers {
  public:
    static constexpr const char* FIXTURES = CORV_SOURCE_DIR "/tests/fixtures/web";
    static constexpr std::array<const char*, 3> ENGINES = {"binsearch", "nzbindex", "yabsearch"};

    // Starts the servers and writes `home`/cfg/engines.ini (the cfg folder must exist).
    // Each server appends the requests it gets to requestLog(engine) in `logFolder`.
    // `certificate` and `key` (PEM files) make them HTTPS servers.
    EngineWebServers(const std::string& home, const std::string& logFolder,
                     const std::string& certificate = "", const std::string& key = "")
        : logs(logFolder) {
        std::ofstream ini(home + "/cfg/engines.ini");
        for (size_t i = 0; i < ENGINES.size(); ++i) {
            const std::string engine = ENGINES[i];
            std::vector<std::string> arguments = {
                "--root", FIXTURES, "--routes", std::string(FIXTURES) + "/" + engine + "/routes.txt",
                "--log",  requestLog(engine), "--lifetime", "120"};
            if (!certificate.empty()) arguments.insert(arguments.end(), {"--tls", certificate, key});
            servers[i] = std::make_unique<TestWebServerProcess>(arguments);
            ini << "[" << engine << "]\nhost="
                << (certificate.empty() ? servers[i]->hostPort()
                                        : "https://localhost:" + std::to_string(servers[i]->port()))
                << "\n";
        }
    }

    // True when every server listens.
    bool started() const {
        for (const auto& server : servers)
            if (server->port() <= 0) return false;
        return true;
    }
    std::string requestLog(const std::string& engine) const { return logs + "/" + engine + ".log"; }

  private:
    std::string logs;
    std::unique_ptr<TestWebServerProcess> servers[3];
};
