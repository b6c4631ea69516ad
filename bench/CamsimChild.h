#pragma once
// camsim as a child process for the measuring programs: started with the
// given options, its devices' endpoints read from its "device" lines, ended
// with SIGTERM.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class CamsimChild {
public:
    CamsimChild() = default;
    ~CamsimChild() { Stop(); }
    CamsimChild(const CamsimChild&) = delete;
    CamsimChild& operator=(const CamsimChild&) = delete;

    // Starts camsim with these options (after the program path) and waits
    // up to 20 s for its ready line. False when it did not come up.
    bool Start(const std::vector<std::string>& options);
    // SIGTERM and wait; true when camsim ended with status 0.
    bool Stop();

    pid_t Pid() const { return m_pid; }
    const std::vector<std::pair<std::string, uint16_t>>& Endpoints() const { return m_endpoints; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::vector<std::pair<std::string, uint16_t>> m_endpoints;
};

// utime + stime of a running process, in seconds.
double ProcessCpuSeconds(pid_t pid);
// The same for this process.
double SelfCpuSeconds();

}  // namespace bench
