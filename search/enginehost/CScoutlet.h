// One search site: loads its engine plug-in, builds its requests and turns its stored
// responses into result SQL or NZB notices. No network or database work happens here;
// everything leaves through the observer.
#pragma once
#include <map>
#include <mutex>
#include <string>

#include "MScoutletObserver.h"
#include "tengine.h"

class CScoutlet {
  public:
    // `library` is a plug-in file name looked for in the program folder (the folder of
    // libscoutlet.so), or a path when it contains a "/". `section` names the engine's
    // section of cfg/engines.ini for a plug-in that serves several engines.
    CScoutlet(MScoutletObserver& observer, const char* library, const char* section = nullptr);
    virtual ~CScoutlet();
    CScoutlet(const CScoutlet&) = delete;
    CScoutlet& operator=(const CScoutlet&) = delete;

    // Loads the plug-in and reads its configuration; on any failure index() stays 0.
    void libload(const char* library);
    // Releases the plug-in; the loader's result, or 0 when nothing was loaded.
    int libclose();
    // Reloads the same plug-in (the argument is not used).
    void libupdate(const char* library);

    int index();
    char* code();
    char* name();
    char* host();

    // True when the request has a keyword or a group.
    bool searchOk(tsearch& request);
    // One search (keyword) or browse (group only) GET request. When the plug-in finds
    // the page full and more behind it, the next page is asked for, up to kMostPages.
    void search(tsearch& request);
    // One NZB creation POST for the result ids in `ids`, separated by `sep`; the
    // separators are overwritten in place.
    void downld(tsearch& request, char* ids, char sep);
    // True when the engine's NZBs are fetched from the address each row stored.
    bool downloadsByLink();
    // One GET of `request.link`, which must lie on the engine's own host: the address
    // carries the user's key, which no other host may see.
    void fetchLink(tsearch& request);
    // A stored response file: an ".nzb" goes to the observer (result 3), anything else is
    // read as a page in `charset` (what its server declared) or else in the charset its
    // meta element names, and parsed (result 0).
    int parse(const char* file, const char* charset = nullptr);
    // One page for the plug-in (writable, zero-terminated); its result, 0 without plug-in.
    int parse(char* page, int length);

    // Appends `pattern` to `out` with its $placeholders$ substituted from `request`.
    void replaceparameters(std::string& out, const char* pattern, tsearch& request);
    // Turns every byte that is unsafe in a file name into "."; returns the length.
    static int fixfilename(char* name);

    // Longest keyword, in bytes, that goes into a request.
    static constexpr size_t kKeywordLimit = 255;
    // Longest NZB name, in bytes, that goes into a response file name.
    static constexpr size_t kNzbNameLimit = 200;
    // Pages asked for one search at most, the first included.
    static constexpr int kMostPages = 5;

  private:
    // A response file name for an NZB request named by `request`'s keyword.
    std::string nzbFileName(const tsearch& request);
    // The request that a response file answers, forgotten as it is taken.
    bool takeRequest(const char* file, tsearch& request);

    MScoutletObserver& observer_;
    tengine engine_{};
    void* handle_ = nullptr;
    readconfig_t readconfig_ = nullptr;
    parseresult_t parseresult_ = nullptr;
    char section_[sizeof engine_.name] = {};
    // Searches waiting for their page, by response file name without its extension.
    std::mutex pendingLock_;
    std::map<std::string, tsearch> pending_;
};
