// What the engine host hands on: HTTP requests to fetch, result SQL to store, NZB files
// that arrived and notices about refused answers. Implemented by the search coordinator;
// the host never owns it.
#pragma once

class MScoutletObserver {
  public:
    // Fetch `host` + `path` into `file`. A null `post` means GET, otherwise `post` is
    // the form body of a POST. The observer copies every text it needs to keep.
    virtual void httpRequest(const char* file, const char* host, const char* path, const char* post,
                             const char* cookie) = 0;
    // An SQL script of result rows (one transaction) for the results database.
    virtual void sqlResponse(const char* sql) = 0;
    // An NZB file has arrived under the name `file`.
    virtual void nzbResponse(const char* file) = 0;
    // One line for the log and the user: an engine's answer was an error or unreadable.
    virtual void engineNotice(const char* text) = 0;

  protected:
    ~MScoutletObserver() = default;
};
