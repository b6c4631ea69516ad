#include "common/platform/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

extern char** environ;

namespace platform {
namespace {

struct Fd {
    int fd = -1;
    ~Fd() { Close(); }
    void Close() {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

// Reads what is there into text (keeping at most kChildOutputMax bytes);
// false at the end of the stream or on an error.
bool Drain(Fd& from, std::string& text) {
    char buffer[4096];
    const ssize_t n = ::read(from.fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return true;
    }
    if (n <= 0) {
        from.Close();
        return false;
    }
    const size_t room = kChildOutputMax > text.size() ? kChildOutputMax - text.size() : 0;
    text.append(buffer, std::min(room, static_cast<size_t>(n)));
    return true;
}

}  // namespace

ChildRun RunChild(const std::string& program, const std::vector<std::string>& args,
                  uint32_t limitMs) {
    ChildRun run;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        run.error = errno;
        return run;
    }
    Fd outRead{outPipe[0]};
    Fd outWrite{outPipe[1]};
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        run.error = errno;
        return run;
    }
    Fd errRead{errPipe[0]};
    Fd errWrite{errPipe[1]};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite.fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite.fd, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.error = spawned;
        return run;
    }
    run.started = true;
    outWrite.Close();
    errWrite.Close();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (outRead.fd >= 0 || errRead.fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            break;
        }
        pollfd watch[2] = {{outRead.fd, POLLIN, 0}, {errRead.fd, POLLIN, 0}};
        const int ready = ::poll(watch, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready > 0 && (watch[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            Drain(outRead, run.out);
        }
        if (ready > 0 && (watch[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            Drain(errRead, run.err);
        }
    }
    if (run.timedOut) {
        ::kill(pid, SIGKILL);
    }
    // Both streams ended: the program has ended or closed them; it gets the
    // rest of the limit to be reaped, then it is killed.
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(pid, &status, run.timedOut ? 0 : WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return run;
        }
        if (done == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                run.timedOut = true;
                ::kill(pid, SIGKILL);
            } else {
                ::poll(nullptr, 0, 10);
            }
        }
    }
    if (!run.timedOut && WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    return run;
}

bool CanExecute(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::string ExecutablePath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace platform
