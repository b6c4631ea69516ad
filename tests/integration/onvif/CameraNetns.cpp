#include "tests/integration/onvif/CameraNetns.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace onvif_test {

bool Background::Start(const std::vector<std::string>& argv) {
    int in[2];
    int out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);  // a group of its own: wrappers (faketime) and what they start end together
        dup2(in[0], 0);
        dup2(out[1], 1);
        std::vector<char*> args;
        for (const std::string& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_pid = pid;
    m_in = in[1];
    m_out = out[0];
    return true;
}

bool Background::WaitForLine(const std::string& prefix, int limitMs, std::string* line) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        size_t newline = 0;
        while ((newline = m_buffer.find('\n')) != std::string::npos) {
            const std::string l = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            if (l.rfind(prefix, 0) == 0) {
                if (line != nullptr) {
                    *line = l;
                }
                return true;
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || m_out < 0) {
            return false;
        }
        pollfd p{m_out, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t n = read(m_out, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        m_buffer.append(buffer, static_cast<size_t>(n));
    }
}

bool Background::Write(const std::string& text) {
    return m_in >= 0 && write(m_in, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void Background::Stop() {
    if (m_pid > 0) {
        kill(-m_pid, SIGTERM);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                kill(-m_pid, SIGKILL);  // anything of the group still there
                m_pid = -1;
                break;
            }
            usleep(50000);
        }
        if (m_pid > 0) {
            kill(-m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    if (m_in >= 0) {
        close(m_in);
        m_in = -1;
    }
    if (m_out >= 0) {
        close(m_out);
        m_out = -1;
    }
}

RunResult RunCommand(const std::string& command) {
    RunResult r;
    FILE* p = popen((command + " 2>/dev/null").c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) {
        r.out.append(buffer, n);
    }
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

void CameraNetns::SetUp() {
    nstest::PrivateNetnsTest::SetUp();
    if (IsSkipped()) {
        return;
    }
    // A run ended by a time-out leaves its namespace and cameras behind:
    // those of test processes that are gone are cleared first.
    nstest::Shell(
        "for ns in $(ip netns list | awk '/^camprep-onvif-/ {print $1}'); do "
        "pid=${ns#camprep-onvif-}; [ -d /proc/$pid ] && continue; "
        "for p in $(ip netns pids $ns); do kill -9 $p; done; ip netns del $ns; done");
    m_ns = "camprep-onvif-" + std::to_string(getpid());
    nstest::Shell("ip netns del " + m_ns);
    ASSERT_EQ(nstest::Shell("ip netns add " + m_ns), 0) << "cannot make the cameras' namespace";
    ASSERT_EQ(InCameras("ip link set lo up"), 0);
    char dir[] = "/tmp/onvif-test-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    m_dir = dir;
    // Announcements from a subnet no route leads back to must not be dropped.
    nstest::Shell("sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.default.rp_filter=0");
}

void CameraNetns::TearDown() {
    m_camsim.Stop();
    if (!m_ns.empty()) {
        nstest::Shell("ip netns del " + m_ns);
    }
    if (!m_dir.empty()) {
        nstest::Shell("rm -rf " + m_dir);
    }
}

bool CameraNetns::Link(const std::string& host, const std::string& hostCidr, const std::string& cam,
                       const std::string& camCidr) {
    return nstest::Shell("ip link add " + host + " type veth peer name " + cam + " netns " +
                         m_ns) == 0 &&
           nstest::Shell("sysctl -qw net.ipv4.conf." + host + ".rp_filter=0") == 0 &&
           nstest::Shell("ip addr add " + hostCidr + " dev " + host) == 0 &&
           nstest::Shell("ip link set " + host + " up") == 0 &&
           InCameras("ip addr add " + camCidr + " dev " + cam) == 0 &&
           InCameras("ip link set " + cam + " up") == 0;
}

bool CameraNetns::AddCameraAddress(const std::string& cam, const std::string& cidr) {
    return InCameras("ip addr add " + cidr + " dev " + cam) == 0;
}

int CameraNetns::InCameras(const std::string& command) {
    return nstest::Shell(InCamerasPrefix() + command);
}

std::string CameraNetns::TempFile(const std::string& name, const std::string& text) {
    const std::string path = m_dir + "/" + name;
    std::ofstream(path) << text;
    return path;
}

bool CameraNetns::StartCamsim(const nlohmann::json& fleet, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {
        "ip", "netns", "exec", m_ns, CAMSIM_BIN, "--fleet", TempFile("fleet.json", fleet.dump())};
    argv.insert(argv.end(), args.begin(), args.end());
    return m_camsim.Start(argv) && m_camsim.WaitForLine("ready", 20000);
}

nlohmann::json ByName(const std::string& json) {
    nlohmann::json byName = nlohmann::json::object();
    const nlohmann::json list = nlohmann::json::parse(json, nullptr, false);
    if (list.is_array()) {
        for (const auto& d : list) {
            byName[d.value("name", "?") + (byName.contains(d.value("name", "?")) ? "#dup" : "")] =
                d;
        }
    }
    return byName;
}

}  // namespace onvif_test
