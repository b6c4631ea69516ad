#pragma once
// Running another program and reading what it says: the adapter helper is
// run this way. The program is named by its path (no search, no shell) and
// every run has a time limit.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct ChildRun {
    bool started = false;   // false: the program could not be run (error says why)
    bool timedOut = false;  // still running at the limit: killed
    int exitStatus = -1;    // when it ended by itself; -1 when a signal ended it
    std::string out;        // standard output (at most kChildOutputMax bytes kept)
    std::string err;        // standard error (likewise)
    int error = 0;          // the system's error number when it could not be run
};

constexpr size_t kChildOutputMax = 64 * 1024;

// Runs program with args (args[0] is the first argument, not the name), its
// standard input empty, and waits at most limitMs for it to end.
ChildRun RunChild(const std::string& program, const std::vector<std::string>& args,
                  uint32_t limitMs);

// True when path names a regular file this process may execute.
bool CanExecute(const std::string& path);

// True when something exists at path (this process may not be able to use it).
bool PathExists(const std::string& path);

// The running program's executable, as an absolute path; empty when unknown.
std::string ExecutablePath();

}  // namespace platform
