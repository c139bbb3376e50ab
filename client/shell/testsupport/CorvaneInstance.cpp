#include "CorvaneInstance.h"

#include "controlPath.h"
#include "controlSocket.h"
#include "execReport.h"
#include "profile.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const auto kPoll = std::chrono::milliseconds(20);

// Starts `program` with `arguments`, with CORVANE_HOME set to `home` unless that is empty,
// as the user `uid` unless that is -1; its standard output and error are appended to
// `output`. The process id, or -1.
pid_t startProgram(const std::string& program, const std::string& home,
                   const std::vector<std::string>& arguments, const std::string& output,
                   uid_t uid, gid_t gid) {
    std::vector<std::string> command{program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv = execArgv(command);
    if (home.empty())
        unsetenv("CORVANE_HOME");
    else
        setenv("CORVANE_HOME", home.c_str(), 1);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            if (out > STDERR_FILENO) close(out);
        }
        if (uid != (uid_t)-1 &&
            (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0))
            _exit(126);
        execOrReport(argv.data(), report[1]);
    }
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return -1;
    }
    if (readExecReport(report[0]) != 0) {
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

// Waits for `pid` to end within `timeoutSeconds`: its exit code, 128 + signal, or -1
// when it still runs.
int awaitExit(pid_t pid, int timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(kPoll);
    }
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

CorvaneInstance::CorvaneInstance(const std::string& name) : program(CORV_BIN_DIR "/corvane") {
    std::string pattern = (fs::temp_directory_path() / name).string() + "_XXXXXX";
    if (mkdtemp(pattern.data())) folder = pattern;
}

CorvaneInstance::CorvaneInstance(const std::string& program, const std::string& stateFolder)
    : program(program), setHome(false), folder(stateFolder), keepFolder(true) {}

CorvaneInstance::~CorvaneInstance() {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    if (!keepFolder && !folder.empty()) fs::remove_all(folder, ignored);
}

void CorvaneInstance::configure(const char* section, const char* key, const std::string& value) {
    profile::writeString(section, key, value.c_str(), (folder + "/config.ini").c_str());
}

bool CorvaneInstance::start(const std::vector<std::string>& arguments, int timeoutSeconds) {
    if (folder.empty() || pid > 0) return false;
    std::error_code ignoredError;
    if (user != (uid_t)-1) {
        lchown(folder.c_str(), user, group);
        for (const auto& entry : fs::recursive_directory_iterator(folder, ignoredError))
            lchown(entry.path().c_str(), user, group);
    }
    // The instance empties its log at start; an old one must not pass for the new start.
    fs::remove(folder + "/debugnntp.txt", ignoredError);
    pid = startProgram(program, setHome ? folder : "", arguments, folder + "/stderr.txt", user,
                       group);
    if (pid <= 0) return false;
    // The instance logs the start of its update check right before it serves.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (log().find("spawn:") != std::string::npos) return true;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return false;
        }
        std::this_thread::sleep_for(kPoll);
    }
    kill(SIGKILL);
    waitExit(10);
    return false;
}

int CorvaneInstance::message(const std::vector<std::string>& arguments, int timeoutSeconds) {
    pid_t messenger = startProgram(program, setHome ? folder : "", arguments,
                                   folder + "/messenger.txt", user, group);
    if (messenger <= 0) return -1;
    int code = awaitExit(messenger, timeoutSeconds);
    if (code == -1) {
        ::kill(messenger, SIGKILL);
        waitpid(messenger, nullptr, 0);
    }
    return code;
}

bool CorvaneInstance::sendRaw(const std::string& bytes) const {
    int fd = sock_connect(controlSocket().c_str());
    if (fd < 0) return false;
    size_t done = 0;
    bool sent = sock_send(fd, bytes.data(), bytes.size(), &done) == (int)bytes.size();
    sock_close(fd);
    return sent;
}

std::string CorvaneInstance::controlSocket() const {
    std::error_code ignored;
    return controlSocketPath(fs::canonical(folder, ignored).string(), geteuid()).path;
}

void CorvaneInstance::runAs(uid_t uid, gid_t gid) {
    user = uid;
    group = gid;
}

int CorvaneInstance::waitExit(int timeoutSeconds) {
    if (pid <= 0) return -1;
    int code = awaitExit(pid, timeoutSeconds);
    if (code != -1) pid = -1;
    return code;
}

void CorvaneInstance::kill(int signal) {
    if (pid > 0) ::kill(pid, signal);
}

std::string CorvaneInstance::log() const {
    std::ifstream in(folder + "/debugnntp.txt", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int CorvaneInstance::logCount(const std::string& text) const {
    return (int)occurrences(log(), text);
}

bool CorvaneInstance::waitForLog(const std::string& text, int timeoutSeconds, int count) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    do {
        if (occurrences(log(), text) >= (size_t)count) return true;
        std::this_thread::sleep_for(kPoll);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}
