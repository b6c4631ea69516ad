#pragma once
// Runs a program (camprep, openssl) as a child process for the measuring
// programs: its wall and CPU time, peak resident memory, and the peak of its
// threads and open descriptors, sampled from /proc while it runs.

#include <string>
#include <vector>

#include "ResultLine.h"  // PrintResult, for the programs that use this

namespace bench {

struct ChildRun {
    bool started = false;
    int exitStatus = -1;  // -1: did not exit normally
    double wall = 0;      // seconds
    double cpu = 0;       // user + system seconds
    long maxRssKiB = 0;
    int peakThreads = 0;
    int peakDescriptors = 0;
    std::string output;  // standard output
};

// args[0] is the program's path. Standard error is left to the caller's.
// sampleMs 0: no /proc sampling (peaks stay 0).
ChildRun RunChild(const std::vector<std::string>& args, int sampleMs = 5);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace bench
