// The HTTP fetcher: queues requests and carries them out one at a time, in order, on
// one background thread, storing each response body in the file the request names and
// telling the observer when it is there.
#pragma once
#include "MFetchmillObserver.h"
#include "THttpLimits.h"
#include "THttpRequest.h"

#include <deque>
#include <memory>

class CThreadSingle;
class TlsClientContext;

class CFetchmill {
  public:
    // Socket-layer start and end; nothing to do on this platform, both return 0.
    static int wsastart();
    static int wsaclean();

    // `limits` bound every request (tests shorten them). The servers of https requests
    // are checked against the system's certificate store, read now.
    explicit CFetchmill(MFetchmillObserver& observer, const THttpLimits& limits = THttpLimits());
    // Stops the worker (a fetch in progress is cut off and not reported) and drops
    // every queued request without telling the observer.
    virtual ~CFetchmill();
    CFetchmill(const CFetchmill&) = delete;
    CFetchmill& operator=(const CFetchmill&) = delete;

    // Queues one request and returns at once; every text is copied and may be null.
    // A null or empty `post` makes a GET, anything else a form POST.
    void httpRequest(const char* file, const char* host, const char* url, const char* post,
                     const char* cookie);

    // Thread entry of the worker: 6 for a null argument, else the loop's result (0).
    static unsigned long FetchmillRunStatic(void* fetcher);

  private:
    int runQueue();

    MFetchmillObserver& observer;
    std::deque<std::unique_ptr<THttpRequest>> queue; // oldest first, under "httplock"
    std::unique_ptr<CThreadSingle> worker;
    THttpLimits limits;
    // Checks the servers of https requests against the system's store.
    std::unique_ptr<TlsClientContext> tls;
};
