#include "NNTPtui.h"
#include "consoleKeys.h"
#include "postStageText.h"

#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr int kLineChars = 79;
constexpr int kEscape = 27;

// The handle of the running console thread, 0 when none runs: one console per process.
std::mutex markerLock;
uintptr_t marker = 0;

void clearMarker() {
    std::lock_guard<std::mutex> guard(markerLock);
    marker = 0;
}

// The model's lines go to standard output (the log); what the console shows goes to
// the terminal.
void show(int screen, const char* format, ...) __attribute__((format(printf, 2, 3)));
void show(int screen, const char* format, ...) {
    if (screen < 0) return;
    va_list arguments;
    va_start(arguments, format);
    vdprintf(screen, format, arguments);
    va_end(arguments);
}

// Reading or setting the terminal from a job that lost the foreground then fails
// instead of stopping the whole running instance.
void ignoreJobControlStops() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTTIN);
    sigaddset(&stops, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
}

// The key loop on a terminal in raw mode, until the console ends.
void readKeys(NNTPmodel_iface* model, ConsoleKeys& keys) {
    NNTPtui view(model, keys.screen());
    char line[kLineChars + 1] = {};
    int length = 0;
    int last = 0;
    do {
        if (length < kLineChars) {
            last = keys.readKey();
            if (last < 0) {
                printf("console: the terminal is gone, the console ends\n");
                break;
            }
        }
        if (last == '\n' || last == '\r' || length == kLineChars) {
            length = 0;
            last = view.reader.handle(line);
        } else if (length < kLineChars) { // always so: a full line went out above
            line[length++] = (char)last;
            line[length] = 0;
            // Escape ends the console: it is not sent to the terminal, where it would
            // start a control sequence.
            if (last != kEscape) show(keys.screen(), "\r%*s ", length, line);
        }
    } while (last != 0 && last != kEscape);
}

} // namespace

NNTPtuic::NNTPtuic(NNTPmodel_iface* model, NNTPtui* view, int screen)
    : model(model), view(view), screen(screen) {
    if (model) model->attach(this);
}

NNTPtuic::~NNTPtuic() {
    if (model) model->detach(this);
    model = nullptr;
}

void NNTPtuic::send(unsigned cmd, unsigned argument) {
    if (!_observable::sendCommand(model, cmd, (void*)(uintptr_t)argument, nullptr))
        printf("console: no thread for command %u %x, not sent\n", cmd, argument);
}

int NNTPtuic::handle(char* line) {
    show(screen, "\r%*s\r", kLineChars, "");
    switch (line[0]) {
    case 'a':
        send(cmdClientEnable, 0x100FF);
        return 1;
    case 'A':
        send(cmdClientEnable, 0xFF);
        return 1;
    case 'e':
    case 'E': {
        char* end = nullptr;
        long number = strtol(line + 1, &end, 10);
        if (end == line + 1) return 1; // no number: ignored
        unsigned worker = (unsigned)number & 0xFF;
        send(cmdClientEnable, line[0] == 'e' ? 0x10000 + worker : worker);
        return 1;
    }
    case 'd':
        send(cmdDecoderEnable, 1);
        return 1;
    case 'D':
        send(cmdDecoderEnable, 0);
        return 1;
    case 'p':
        send(cmdQueueEnable, 1);
        return 1;
    case 'P':
        send(cmdQueueEnable, 0);
        return 1;
    case 'x':
        send(cmdTerminate, 0);
        return 0;
    case 'q':
        return 0;
    default:
        return 1;
    }
}

NNTPtui::NNTPtui(NNTPmodel_iface* model, int screen)
    : reader(model, this, screen), model(model), queue(model ? model->getqueue() : nullptr),
      screen(screen) {
    if (!queue) return;
    queue->attach(this);
    listStages();
}

NNTPtui::~NNTPtui() {
    if (queue) queue->detach(this);
    if (model) model->detach(this);
    model = nullptr;
}

void NNTPtui::listStages() {
    std::vector<int> posts;
    queue->qposts(&posts);
    for (int pid : posts)
        if (const tpost* post = queue->qpost(pid); post && post->ppStage != ppNone)
            update(updPostStage, (void*)post);
}

void NNTPtui::update(unsigned code, void* data) {
    if (code != updPostStage || !data) return;
    const tpost& post = *static_cast<const tpost*>(data);
    // ppNone: downloading again, which the console does not follow.
    if (stages.remember(post) == post.ppStage || post.ppStage == ppNone) return;
    // Over the line being typed, which the next key shows again.
    show(screen, "\r%*s\r%.*s: %s\r\n", kLineChars, "", (int)sizeof post.postDesc, post.postDesc,
         postStageText(post).c_str());
}

void NNTPtui_static(void* model) {
    ignoreJobControlStops();
    {
        ConsoleKeys keys;
        if (keys.problem())
            printf("console: %s, no console started\n", keys.problem());
        else
            readKeys(static_cast<NNTPmodel_iface*>(model), keys);
    }
    // Only after the terminal has its mode back may the next console take it.
    clearMarker();
}

void* loadtui(void* model) {
    if (!model) return model;
    // Held until the marker is stored, so a console ending at once clears it after.
    std::lock_guard<std::mutex> guard(markerLock);
    if (marker) return model;
    try {
        std::thread console(NNTPtui_static, model);
        marker = (uintptr_t)console.native_handle();
        // Detached: a console waiting for a key never holds up the end of the program.
        console.detach();
    } catch (const std::system_error&) {
        printf("console: no thread for the console\n");
        return model;
    }
    return (void*)marker;
}
