// The bounds of every request of the fetcher. The defaults are the product's; tests
// shorten them.
#pragma once

struct THttpLimits {
    int waitSeconds = 30;     // each wait for the server, send or receive
    int deadlineSeconds = 60; // the whole request, redirects included
    long long bodyLimit = 64LL * 1024 * 1024; // response body, after gzip inflation
};
