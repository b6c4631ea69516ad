#include "ProcessRun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

extern char** environ;

namespace cli_test {
namespace {

bool IsLocaleVariable(const char* entry) {
    for (const char* name : {"LC_ALL=", "LC_MESSAGES=", "LANG=", "LANGUAGE="}) {
        if (std::strncmp(entry, name, std::strlen(name)) == 0) {
            return true;
        }
    }
    return false;
}

std::string ReadAndRemove(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return text;
}

std::string TempPath(const char* what) {
    char path[64];
    std::snprintf(path, sizeof path, "/tmp/camprep-cli-%s-XXXXXX", what);
    const int fd = mkstemp(path);
    if (fd < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    close(fd);
    return path;
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& locale) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!IsLocaleVariable(*e)) {
            env.emplace_back(*e);
        }
    }
    env.insert(env.end(), locale.begin(), locale.end());
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    const std::string outPath = TempPath("out");
    const std::string errPath = TempPath("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_TRUNC, 0);
    pid_t pid = 0;
    const int spawned =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ProcessResult result;
    if (spawned != 0) {
        result.err = std::string("spawn failed: ") + std::strerror(spawned);
        std::remove(outPath.c_str());
        std::remove(errPath.c_str());
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAndRemove(outPath);
    result.err = ReadAndRemove(errPath);
    return result;
}

}  // namespace cli_test
