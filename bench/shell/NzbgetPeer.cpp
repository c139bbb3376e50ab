#include "NzbgetPeer.h"

#include "FolderPeak.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

void writeConfig(const std::string& path, const std::string& folder, int port, int connections,
                 bool tls) {
    std::ofstream config(path);
    config << "MainDir=" << folder << "\n"
           << "DestDir=" << folder << "/dst\n"
           << "InterDir=" << folder << "/inter\n"
           << "NzbDir=" << folder << "/nzb\n"
           << "QueueDir=" << folder << "/queue\n"
           << "TempDir=" << folder << "/tmp\n"
           << "ScriptDir=" << folder << "/scripts\n"
           << "LockFile=" << folder << "/nzbget.lock\n"
           << "LogFile=" << folder << "/nzbget.log\n"
           << "WebDir=\nConfigTemplate=\n"
           << "ControlIP=127.0.0.1\nControlPort=0\nSecureControl=no\n"
           << "Server1.Active=yes\nServer1.Name=bench\nServer1.Level=0\n"
           << "Server1.Host=127.0.0.1\nServer1.Port=" << port << "\n"
           << "Server1.Connections=" << connections << "\n"
           << "Server1.Encryption=" << (tls ? "yes" : "no") << "\n"
           << "Server1.JoinGroup=no\n"
           << "CertCheck=no\n"
           // Download and assemble only, as corvane does: no repair, no unpacking.
           << "DirectWrite=yes\nCrcCheck=yes\nParCheck=manual\nParRepair=no\nUnpack=no\n"
           << "DiskSpace=0\nWriteLog=append\nOutputMode=loggable\nUpdateCheck=none\n";
}

} // namespace

NzbgetRun runNzbget(const std::string& nzb, int port, int connections, bool tls,
                    int limitSeconds) {
    NzbgetRun run;
    char pattern[] = "/tmp/nzbget_peer_XXXXXX";
    if (!mkdtemp(pattern)) return run;
    run.folder = pattern;
    run.destination = run.folder + "/dst";
    const std::string config = run.folder + "/nzbget.conf";
    writeConfig(config, run.folder, port, connections, tls);
    for (const char* sub : {"/tmp", "/queue", "/inter", "/dst", "/nzb"})
        mkdir((run.folder + sub).c_str(), 0755);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string output = run.folder + "/output.txt";
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Standalone mode: the NZB on the command line is downloaded, then the program ends.
    std::vector<std::string> words = {"nzbget", "-c", config, nzb};
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    FolderPeak temp({run.folder + "/tmp", run.folder + "/queue"});
    auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, "nzbget", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        fprintf(stderr, "nzbget could not be started (apt-get install nzbget)\n");
        return run;
    }
    int status = 0;
    struct rusage usage {};
    for (;;) {
        pid_t ended = wait4(pid, &status, WNOHANG, &usage);
        if (ended == pid) break;
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(limitSeconds)) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            fprintf(stderr, "nzbget did not finish within %d s; see %s\n", limitSeconds,
                    output.c_str());
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.tempBytes = temp.stop();
    run.cpuSeconds = (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                     (double)usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    run.peakKiB = usage.ru_maxrss;
    run.ran = WIFEXITED(status);
    return run;
}
