#include "observer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <system_error>
#include <thread>

namespace {
// Addresses and arguments are logged as 32 hex digits, as they always were.
unsigned lowBits(const void* pointer) {
    return (unsigned)(uintptr_t)pointer;
}
} // namespace

void _observer::update(unsigned, void*) {}

void _observable::handleCommandT(unsigned, void*, void*) {}

void _observable::attach(_observer* observer) {
    printf("attach: %X\n", lowBits(observer));
    std::lock_guard<std::recursive_mutex> guard(listLock);
    if (observer && std::find(observers.begin(), observers.end(), observer) == observers.end())
        observers.push_back(observer);
}

void _observable::detach(_observer* observer) {
    printf("detach: %X\n", lowBits(observer));
    std::lock_guard<std::recursive_mutex> guard(listLock);
    observers.erase(std::remove(observers.begin(), observers.end(), observer), observers.end());
}

void _observable::notify(unsigned code, void* data) {
    std::lock_guard<std::recursive_mutex> guard(listLock);
    // By index: an observer may detach itself (or attach another) from within update.
    for (size_t i = 0; i < observers.size(); ++i) {
        _observer* current = observers[i];
        current->update(code, data);
        if (i < observers.size() && observers[i] != current) --i; // it left the list
    }
}

void _observable::handleCommandS(void* record) {
    std::unique_ptr<tcommand> command(static_cast<tcommand*>(record));
    if (!command) return;
    printf("handle cmd: %d %x %x", (int)command->cmd, lowBits(command->p1), lowBits(command->p2));
    if (command->target) command->target->handleCommandT(command->cmd, command->p1, command->p2);
}

bool _observable::sendCommand(_observable* target, unsigned cmd, void* p1, void* p2) {
    auto* record = new tcommand{target, cmd, p1, p2};
    try {
        std::thread(handleCommandS, record).detach();
    } catch (const std::system_error&) {
        delete record;
        return false;
    }
    return true;
}
