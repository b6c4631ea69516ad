#include "CamsimChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace bench {

bool CamsimChild::Start(const std::vector<std::string>& options) {
    std::vector<std::string> args = {CAMSIM_PATH};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return false;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(out[1]);
    m_out = out[0];
    if (m_pid < 0) {
        return false;
    }
    // "device INDEX MAC ADDRESS:PORT NAME" lines, then "ready N".
    std::string pending;
    for (;;) {
        pollfd p{m_out, POLLIN, 0};
        char chunk[4096];
        if (::poll(&p, 1, 20000) <= 0) {
            return false;
        }
        const ssize_t n = ::read(m_out, chunk, sizeof chunk);
        if (n <= 0) {
            return false;
        }
        pending.append(chunk, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            char address[32];
            unsigned port = 0;
            if (std::sscanf(line.c_str(), "device %*u %*s %31[^:]:%u", address, &port) == 2) {
                m_endpoints.emplace_back(address, static_cast<uint16_t>(port));
            } else if (line.rfind("ready", 0) == 0) {
                return true;
            }
        }
    }
}

bool CamsimChild::Stop() {
    if (m_pid <= 0) {
        return true;
    }
    ::kill(m_pid, SIGTERM);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    if (m_out >= 0) {
        ::close(m_out);
        m_out = -1;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double ProcessCpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');  // the command name may hold spaces
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double SelfCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace bench
