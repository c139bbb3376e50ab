#include "CFetchmill.h"

#include "CTcpClientHttp.h"
#include "CThreadSingle.h"
#include "tlsClientContext.h"

#include <cstdio>
#include <mutex>

namespace {

const int kIdlePollMs = 200;

// "httplock": one lock for the queue of every fetcher of the process.
std::mutex& httplock() {
    static std::mutex lock;
    return lock;
}

} // namespace

int CFetchmill::wsastart() {
    return 0;
}

int CFetchmill::wsaclean() {
    return 0;
}

CFetchmill::CFetchmill(MFetchmillObserver& observer, const THttpLimits& limits)
    : observer(observer), worker(std::make_unique<CThreadSingle>()), limits(limits),
      tls(std::make_unique<TlsClientContext>(TlsClientOptions())) {
    // Every https request then fails with this reason; plain ones still work.
    if (!tls->usable()) printf("fetch: no TLS: %s\n", tls->problem().c_str());
}

CFetchmill::~CFetchmill() {
    worker->stop();
    worker.reset();
    std::lock_guard<std::mutex> guard(httplock());
    queue.clear();
}

void CFetchmill::httpRequest(const char* file, const char* host, const char* url, const char* post,
                             const char* cookie) {
    auto request = std::make_unique<THttpRequest>();
    request->file = file ? file : "";
    request->host = host ? host : "";
    request->url = url ? url : "";
    request->post = post ? post : "";
    request->cookie = cookie ? cookie : "";
    {
        std::lock_guard<std::mutex> guard(httplock());
        queue.push_back(std::move(request));
    }
    int error = worker->start(FetchmillRunStatic, this);
    if (error) printf("fetch: cannot start the worker thread (error %d)\n", error);
}

unsigned long CFetchmill::FetchmillRunStatic(void* fetcher) {
    if (!fetcher) return 6;
    return (unsigned long)static_cast<CFetchmill*>(fetcher)->runQueue();
}

int CFetchmill::runQueue() {
    for (;;) {
        if (!worker->runOk()) {
            worker->Run();
            return 0;
        }
        // Only this thread removes entries, so the oldest stays put while it is worked on.
        THttpRequest* request = nullptr;
        {
            std::lock_guard<std::mutex> guard(httplock());
            if (!queue.empty()) request = queue.front().get();
        }
        if (!request) {
            worker->waitRun(kIdlePollMs);
            continue;
        }
        std::string charset;
        int result =
            CTcpClientHttp::httpRequest(request->file, charset, request->host, request->url,
                                        request->post, request->cookie, tls.get(), limits);
        // A fetch cut off by stop is not reported: the owner is going away.
        if (worker->runOk())
            observer.httpResponse(request->file.c_str(), request->host.c_str(), result,
                                  charset.c_str());
        std::unique_ptr<THttpRequest> done;
        std::lock_guard<std::mutex> guard(httplock());
        done = std::move(queue.front());
        queue.pop_front();
    }
}
