#pragma once
// camsim as a program beside camprep: started with the caller's options and
// --port 0 --no-search, ready once it has printed every device's address.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/integration/sim/ChildProcess.h"

namespace clitest {

class CamsimProcess {
public:
    // True once `devices` devices listen; their HOST:PORT are in Devices().
    bool Start(std::vector<std::string> options, size_t devices) {
        std::vector<std::string> args{CAMSIM_PATH, "--port", "0", "--no-search"};
        args.insert(args.end(), options.begin(), options.end());
        m_child = std::make_unique<simtest::Child>(args);
        std::string line;
        while (m_child->ReadLine(line, 60000)) {
            m_out += line + "\n";
            char address[64] = {};
            if (std::sscanf(line.c_str(), "device %*u %*s %63s", address) == 1) {
                m_devices.emplace_back(address);
            }
            if (line.rfind("ready ", 0) == 0) {
                return m_devices.size() == devices;
            }
        }
        ADD_FAILURE() << "camsim did not start:\n" << m_out;
        return false;
    }

    // Stops camsim (it must exit 0) and returns all it printed.
    std::string Stop() {
        m_child->Signal(SIGTERM);
        m_out += m_child->ReadAll();
        EXPECT_EQ(m_child->Wait(), 0) << m_out;
        return m_out;
    }

    const std::vector<std::string>& Devices() const { return m_devices; }

private:
    std::unique_ptr<simtest::Child> m_child;
    std::string m_out;
    std::vector<std::string> m_devices;
};

}  // namespace clitest
