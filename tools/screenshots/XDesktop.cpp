#include "XDesktop.h"

#include "childProcess.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

namespace xdesktop {
namespace {

tchildRun xdotool(std::vector<std::string> arguments) {
    static const std::string program = locateProgram("xdotool", {});
    arguments.insert(arguments.begin(), program);
    tchildRun run = runChild(arguments);
    if (run.error) fprintf(stderr, "xdotool cannot run: %s\n", strerror(run.error));
    return run;
}

// The output mixes standard error in: the first line that is a number is the window.
unsigned long findWindow(const std::string& title) {
    tchildRun run = xdotool({"search", "--onlyvisible", "--name", title});
    if (run.exitCode != 0) return 0;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
            return std::stoul(line);
    return 0;
}

// Polls `done` four times a second until it holds or the limit passes.
template <typename Condition> bool pollFor(int limitSeconds, Condition done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limitSeconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return true;
}

} // namespace

unsigned long waitForWindow(const std::string& title, int limitSeconds) {
    unsigned long window = 0;
    pollFor(limitSeconds, [&] { return (window = findWindow(title)) != 0; });
    return window;
}

bool waitUntilGone(const std::string& title, int limitSeconds) {
    return pollFor(limitSeconds, [&] { return findWindow(title) == 0; });
}

QRect geometry(unsigned long window) {
    tchildRun run = xdotool({"getwindowgeometry", "--shell", std::to_string(window)});
    if (run.exitCode != 0) return {};
    int x = 0, y = 0, width = 0, height = 0;
    std::istringstream lines(run.output);
    std::string line;
    while (std::getline(lines, line)) {
        sscanf(line.c_str(), "X=%d", &x);
        sscanf(line.c_str(), "Y=%d", &y);
        sscanf(line.c_str(), "WIDTH=%d", &width);
        sscanf(line.c_str(), "HEIGHT=%d", &height);
    }
    return QRect(x, y, width, height);
}

bool pressKeys(unsigned long window, const std::string& keys) {
    std::vector<std::string> arguments = {"windowfocus", "--sync",  std::to_string(window),
                                          "key",         "--delay", "150"};
    std::istringstream names(keys);
    for (std::string name; names >> name;)
        arguments.push_back(name);
    return xdotool(arguments).exitCode == 0;
}

bool click(int x, int y) {
    return xdotool({"mousemove", "--sync", std::to_string(x), std::to_string(y), "click", "1"})
               .exitCode == 0;
}

bool savePicture(const QRect& area, const std::string& file) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || area.isEmpty()) {
        fprintf(stderr, "nothing to photograph for %s\n", file.c_str());
        return false;
    }
    QPixmap picture = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (!picture.save(QString::fromStdString(file), "PNG")) {
        fprintf(stderr, "cannot write %s\n", file.c_str());
        return false;
    }
    printf("%s\n", file.c_str());
    return true;
}

} // namespace xdesktop
