#include "tests/integration/platform/PrivateNetns.h"

#include <sched.h>
#include <unistd.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace nstest {
namespace {

// Namespaces are per thread: ask about this thread's.
bool NetnsInode(ino_t* inode) {
    struct stat info {};
    if (stat("/proc/thread-self/ns/net", &info) != 0) {
        return false;
    }
    *inode = info.st_ino;
    return true;
}

bool IsDummy(const std::string& name) {
    return Capture("ip -d -o link show dev " + name + " 2>/dev/null").find(" dummy ") !=
           std::string::npos;
}

}  // namespace

std::string EnterPrivateNetns() {
    ino_t before = 0;
    ino_t after = 0;
    if (!NetnsInode(&before)) {
        return "cannot read /proc/thread-self/ns/net";
    }
    if (unshare(CLONE_NEWNET) != 0) {
        return std::string("unshare(CLONE_NEWNET) refused: ") + std::strerror(errno);
    }
    if (!NetnsInode(&after) || after == before) {
        return "the network namespace did not change";
    }
    if (Shell("ip link set lo up") != 0) {
        return "cannot bring loopback up (is iproute2 installed?)";
    }
    return "";
}

std::string RemountSysfs() {
    if (unshare(CLONE_NEWNS) != 0) {
        return std::string("unshare(CLONE_NEWNS) refused: ") + std::strerror(errno);
    }
    // Keep the new mount to this namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return std::string("cannot make mounts private: ") + std::strerror(errno);
    }
    if (mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0) {
        return std::string("cannot mount sysfs: ") + std::strerror(errno);
    }
    return "";
}

int Shell(const std::string& command) {
    const std::string quiet = command + " >/dev/null 2>&1";
    const int status = std::system(quiet.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

std::string Capture(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    std::array<char, 512> chunk{};
    size_t got = 0;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) {
        output.append(chunk.data(), got);
    }
    pclose(pipe);
    return output;
}

bool CreateTestInterface(const std::string& name) {
    if (Shell("ip link add " + name + " type dummy") == 0) {
        return true;
    }
    return Shell("ip link add " + name + " type veth peer name " + name + "p") == 0;
}

bool SetTestInterfaceUp(const std::string& name, bool up) {
    const char* state = up ? " up" : " down";
    if (!IsDummy(name) && Shell("ip link set " + name + "p" + state) != 0) {
        return false;
    }
    if (Shell("ip link set " + name + state) != 0) {
        return false;
    }
    // A veth's carrier follows its peer asynchronously: wait (bounded) until
    // the interface reports the state asked for, so callers see it settled.
    for (int i = 0; i < 500; ++i) {
        const std::string operstate = Capture("ip -o link show " + name);
        const bool running = operstate.find("LOWER_UP") != std::string::npos &&
                             operstate.find(",UP") != std::string::npos;
        if (running == up) {
            return true;
        }
        usleep(10 * 1000);
    }
    return false;
}

}  // namespace nstest
