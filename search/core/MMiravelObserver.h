// What the search coordinator tells the window. Every call arrives on the fetcher's
// worker thread, never on the window's own thread.
#pragma once

class MMiravelObserver {
  public:
    // The results in the database changed.
    virtual void handleDataChanged() = 0;
    // An NZB file has been stored at `path`.
    virtual void handleOpenResponse(const char* path) = 0;
    // A non-empty version history file has arrived at `path`.
    virtual void handleUpdateAvailable(const char* path) = 0;
    // An engine's answer was refused (an error answer, unreadable or hostile XML); one
    // line for the user. The coordinator has already logged it.
    virtual void handleEngineNotice(const char*) {}

  protected:
    ~MMiravelObserver() = default;
};
