// One variable of the test's environment set or removed for a scope: programs started
// from the test inherit it, and the old value comes back afterwards.
#pragma once
#include <cstdlib>
#include <optional>
#include <string>

class ScopedVariable {
  public:
    ScopedVariable(const char* name, const char* value) : name(name) {
        if (const char* old = getenv(name)) previous = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable() {
        if (previous)
            setenv(name, previous->c_str(), 1);
        else
            unsetenv(name);
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const char* name;
    std::optional<std::string> previous;
};
