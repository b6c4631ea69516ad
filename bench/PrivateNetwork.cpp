#include "PrivateNetwork.h"

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

bool NetnsInode(const char* path, ino_t* inode) {
    struct stat info {};
    if (stat(path, &info) != 0) {
        return false;
    }
    *inode = info.st_ino;
    return true;
}

bool Running(const std::string& name) {
    const std::string command = "ip -o link show dev " + name + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return false;
    }
    char line[1024] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    pclose(pipe);
    return got && std::strstr(line, "LOWER_UP") != nullptr && std::strstr(line, ",UP") != nullptr;
}

}  // namespace

int Shell(const std::string& command) {
    const std::string quiet = command + " >/dev/null 2>&1";
    const int status = std::system(quiet.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

std::string EnterPrivateNetwork(const std::string& name) {
    ino_t before = 0;
    ino_t after = 0;
    if (!NetnsInode("/proc/thread-self/ns/net", &before)) {
        return "cannot read /proc/thread-self/ns/net";
    }
    if (unshare(CLONE_NEWNET) != 0) {
        return std::string("unshare(CLONE_NEWNET) refused (run it as root): ") + std::strerror(errno);
    }
    if (!NetnsInode("/proc/thread-self/ns/net", &after) || after == before) {
        return "the network namespace did not change";
    }
    if (Shell("ip link set lo up") != 0) {
        return "cannot bring loopback up (is iproute2 installed?)";
    }
    // A dummy interface where the kernel has them, else a veth pair.
    const bool dummy = Shell("ip link add " + name + " type dummy") == 0;
    if (!dummy && Shell("ip link add " + name + " type veth peer name " + name + "p") != 0) {
        return "cannot add a test interface " + name;
    }
    if ((!dummy && Shell("ip link set " + name + "p up") != 0) ||
        Shell("ip link set " + name + " up") != 0) {
        return "cannot bring " + name + " up";
    }
    // A veth's carrier follows its peer a moment later (bounded wait).
    for (int i = 0; i < 300 && !Running(name); ++i) {
        usleep(10 * 1000);
    }
    return Running(name) ? "" : name + " does not come up running";
}

}  // namespace bench
