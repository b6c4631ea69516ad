#include "common/platform/Privileges.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr uint64_t Bit(int capability) {
    return uint64_t{1} << capability;
}

// The effective set as /proc/self/status shows it ("CapEff:" in hex).
uint64_t EffectiveCapabilities() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) == 0) {
            try {
                return std::stoull(line.substr(7), nullptr, 16);
            } catch (...) {
                return 0;
            }
        }
    }
    return 0;
}

bool GroupId(const std::string& group, gid_t& id) {
    std::vector<char> buffer(16384);
    struct group entry {};
    struct group* found = nullptr;
    if (getgrnam_r(group.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return false;
    }
    id = found->gr_gid;
    return true;
}

}  // namespace

bool HasNetworkPrivileges() {
    const uint64_t wanted = Bit(CAP_NET_ADMIN) | Bit(CAP_NET_RAW);
    return (EffectiveCapabilities() & wanted) == wanted;
}

bool RunningAsRoot() {
    return ::getuid() == 0;
}

bool GroupExists(const std::string& group) {
    gid_t id = 0;
    return GroupId(group, id);
}

bool ProcessInGroup(const std::string& group) {
    gid_t id = 0;
    if (!GroupId(group, id)) {
        return false;
    }
    if (::getgid() == id || ::getegid() == id) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<size_t>(i)] == id) {
            return true;
        }
    }
    return false;
}

std::string UserName() {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    const uid_t uid = ::getuid();
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return found->pw_name;
    }
    return std::to_string(uid);
}

bool KeepNetworkCapabilities(bool netAdmin, bool netRaw) {
    // The raw interface: glibc has no wrapper, and libcap is not needed for
    // two bits. Version 3 takes two 32-bit words per set; both network
    // capabilities are in the first.
    uint32_t keep = 0;
    keep |= netAdmin ? (uint32_t{1} << CAP_NET_ADMIN) : 0;
    keep |= netRaw ? (uint32_t{1} << CAP_NET_RAW) : 0;
    __user_cap_header_struct header{};
    header.version = _LINUX_CAPABILITY_VERSION_3;
    header.pid = 0;
    __user_cap_data_struct data[2]{};
    data[0].effective = keep;
    data[0].permitted = keep;
    return ::syscall(SYS_capset, &header, data) == 0;
}

}  // namespace platform
