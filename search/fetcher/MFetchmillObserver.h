// Told about every finished request of the fetcher, once each, in queue order, on the
// fetcher's worker thread. Implemented by the search coordinator; never owned by the
// fetcher.
#pragma once

class MFetchmillObserver {
  public:
    // `file` is the response file under its final name (extension set from the content
    // type); `host` is the host text of the request as queued (empty when the host came
    // from an absolute URL). `result` is 0 when the file was written, whatever happened
    // on the network, and -1 when the file could not be created (nothing was fetched).
    // `charset` is what the response's Content-Type declares, empty when it names none.
    // The texts are valid only during the call.
    virtual void httpResponse(const char* file, const char* host, int result,
                              const char* charset) = 0;

  protected:
    ~MFetchmillObserver() = default;
};
