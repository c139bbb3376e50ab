// CPU time for the engine benchmarks.
#pragma once
#include <sys/resource.h>

// User plus system seconds of RUSAGE_SELF, or of the reaped children (RUSAGE_CHILDREN).
inline double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return (double)usage.ru_utime.tv_sec + (double)usage.ru_utime.tv_usec / 1e6 +
           (double)usage.ru_stime.tv_sec + (double)usage.ru_stime.tv_usec / 1e6;
}
