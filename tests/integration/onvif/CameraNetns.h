#pragma once
// Test support: simulated ONVIF cameras in a network namespace of their
// own, joined to the test's private namespace by veth pairs, and the
// programs run as a person runs them.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "tests/integration/platform/PrivateNetns.h"

namespace onvif_test {

// A program started in the background, in a process group of its own;
// the group is stopped (SIGTERM, then SIGKILL) and the program waited for
// when the object goes.
class Background {
public:
    // Runs argv (argv[0] by path) with stdin and stdout on pipes.
    bool Start(const std::vector<std::string>& argv);
    ~Background() { Stop(); }
    // Reads stdout lines until one starts with `prefix`; false after limitMs.
    bool WaitForLine(const std::string& prefix, int limitMs, std::string* line = nullptr);
    bool Write(const std::string& text);
    void Stop();
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

struct RunResult {
    int status = -1;
    std::string out;
};
// Runs a shell command line to its end (standard error dropped).
RunResult RunCommand(const std::string& command);

// The test's private namespace plus a named one for the cameras.
class CameraNetns : public nstest::PrivateNetnsTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A veth pair: `host` here with hostCidr, `cam` in the cameras'
    // namespace with camCidr (more addresses with AddCameraAddress).
    bool Link(const std::string& host, const std::string& hostCidr, const std::string& cam,
              const std::string& camCidr);
    bool AddCameraAddress(const std::string& cam, const std::string& cidr);
    // Runs a command in the cameras' namespace.
    int InCameras(const std::string& command);
    std::string InCamerasPrefix() const { return "ip netns exec " + m_ns + " "; }

    // Starts camsim there with this fleet (written to a file) and arguments;
    // waits for its ready line.
    bool StartCamsim(const nlohmann::json& fleet, const std::vector<std::string>& args = {});
    Background& Camsim() { return m_camsim; }
    std::string TempFile(const std::string& name, const std::string& text);

    std::string m_ns;
    std::string m_dir;
    Background m_camsim;
};

// camprep discover's JSON list, by the name of each device.
nlohmann::json ByName(const std::string& json);

}  // namespace onvif_test
