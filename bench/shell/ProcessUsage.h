// CPU time and peak memory of a running process, read from /proc, for the benchmarks of
// the corvane program (a child process of the benchmark).
#pragma once
#include <sys/types.h>

struct ProcessUsage {
    double cpuSeconds = -1;      // user + system of the process itself
    double childCpuSeconds = -1; // user + system of its children it has waited for
    long peakKiB = -1;           // VmHWM: the most resident memory it has had
};

ProcessUsage processUsage(pid_t pid);
// A child of this process whose command name is `name`, or -1.
pid_t childNamed(const char* name);
