#pragma once
// The system's network platform with the questions about the network
// counted, so a test can wait until the network watch has asked and gone
// to sleep until its next poll.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "common/platform/NetworkPlatform.h"

namespace nstest {

class WatchedNetwork : public platform::NetworkPlatform {
public:
    int GetAdapters(std::vector<platform::AdapterInfo>& adapters) override {
        return platform::SystemNetwork().GetAdapters(adapters);
    }
    bool IsNetworkAlive() override {
        const bool alive = platform::SystemNetwork().IsNetworkAlive();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_asked;
        }
        m_cv.notify_all();
        return alive;
    }
    int AddIPAddress(uint32_t ifIndex, uint32_t address, uint32_t mask) override {
        return platform::SystemNetwork().AddIPAddress(ifIndex, address, mask);
    }
    int AddRoute(const platform::Ipv4Route& route) override {
        return platform::SystemNetwork().AddRoute(route);
    }
    bool IsPhysicalAdapter(const std::string& name) override {
        return platform::SystemNetwork().IsPhysicalAdapter(name);
    }

    int Asked() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_asked;
    }
    // Waits (bounded) until the network has been asked about n times.
    bool WaitAsked(int n, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_cv.wait_for(lock, limit, [&] { return m_asked >= n; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_asked = 0;
};

}  // namespace nstest
