// The search coordinator: the one object the search window talks to. It owns the engine
// plug-ins, the HTTP fetcher and the results database and connects them: requests an
// engine builds go to the fetcher, each stored response goes back to the engine whose
// host answered, the engine's SQL goes into the database and arriving NZB files move
// into "./nzb". Everything that follows a response runs on the fetcher's worker thread.
#pragma once
#include "CMiravelDB.h"
#include "MFetchmillObserver.h"
#include "MMiravelObserver.h"
#include "MScoutletObserver.h"
#include "tRecordData.h"

#include <memory>
#include <string>
#include <vector>

class CFetchmill;
class CScoutlet;
struct tsearch;

class CMiravel : public MScoutletObserver, public MFetchmillObserver {
  public:
    // Makes `folder` the working folder (null: the state folder: $MIRAVEL_HOME when set,
    // the program's folder in a build tree, else $XDG_DATA_HOME/miravel), prepares
    // "./tmp", "./cfg" and "./nzb", loads the engines, opens the results database and
    // brings its ages up to date. `observer` may be null.
    CMiravel(const char* folder, MMiravelObserver* observer);

    // From the engines (on the window thread) and the window's update check.
    void httpRequest(const char* file, const char* host, const char* path, const char* post,
                     const char* cookie) override;
    // From the engines, on the fetcher's worker thread.
    void sqlResponse(const char* sql) override;
    void nzbResponse(const char* file) override;
    void engineNotice(const char* text) override;
    // From the fetcher, on its worker thread; `result` is not used.
    void httpResponse(const char* file, const char* host, int result, const char* charset) override;

    // Stops the fetcher first, so no response arrives while the rest goes away.
    virtual ~CMiravel();
    CMiravel(const CMiravel&) = delete;
    CMiravel& operator=(const CMiravel&) = delete;

    // One search on the engine of that service name (any letter case); nothing when the
    // engine is unknown or both texts are empty or null.
    void search(const char* engine, const char* keyword, const char* group);
    // One NZB request for the result ids in `ids`, separated by `sep` (cut in place).
    // The NZB is named `name`, else `altname`, else "nzbresult".
    void download(const char* engine, const char* name, const char* altname, char* ids, char sep);
    int selectData(tRecordData& page);
    // Recomputes ages after a day change; tells the observer when `notify` and ages moved.
    int updateAge(bool notify);
    void resetDatabase();
    // Rows of "results" whose engine and subject contain the given texts.
    int numResults(const char* engine, const char* subject);
    // Deletes every file in `folder` whose name ends in `suffix`.
    void clearFolder(const char* folder, const char* suffix);
    // Service name of the engine at `index`, null outside the list.
    const char* enginename(int index);
    CScoutlet* getengine(const char* name);
    // Loads one plug-in of the program folder; null when it is missing or unusable.
    // `section` names the engine's section of cfg/engines.ini for a plug-in that serves
    // several engines. Meant for start-up: the fetcher's thread reads the engine list
    // without a lock.
    CScoutlet* loadengine(const char* library, const char* section = nullptr);

  private:
    void initialize(const char* folder);
    // One engine per section of cfg/engines.ini that names a plug-in ("plugin=newznab").
    void loadIndexers();
    bool overlapsAnEngineName(const std::string& name);
    // An engine whose NZBs are fetched from the address each result stored.
    void downloadByLink(CScoutlet& engine, tsearch& request, char* ids, char sep);
    // Moves an arrived NZB into "./nzb" under a free name; returns where it now lies.
    std::string storeNzb(const char* file);

    std::unique_ptr<CFetchmill> fetcher;
    std::vector<std::unique_ptr<CScoutlet>> engines;
    std::unique_ptr<CMiravelDB> database;
    MMiravelObserver* observer = nullptr;
};
