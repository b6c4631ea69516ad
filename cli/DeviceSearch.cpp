#include "cli/DeviceSearch.h"

#include <cstring>
#include <thread>

#include "discovery/DeviceDiscovery.h"

namespace cli {

DeviceSearch::DeviceSearch(std::string series, std::vector<std::string> interfaces)
    : m_series(std::move(series)), m_interfaces(std::move(interfaces)), m_rules{nullptr, true} {
    m_rules.seriesNeedle = m_series.c_str();
}

void DeviceSearch::Callback(const char* mac, int kind, const char* xml, void* context) {
    static_cast<DeviceSearch*>(context)->OnReport(mac, kind, xml);
}

void DeviceSearch::OnReport(const char* mac, int kind, const char* xml) {
    discovery::SearchReport report = discovery::ParseSearchAnswer(mac, kind, xml, m_rules);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (report.type == discovery::SearchReport::Type::Device) {
        for (SEARCH_DEVICE_INFO& d : m_devices) {
            if (SameDevice(d, *report.device)) {
                d = *report.device;
                return;
            }
        }
        m_devices.push_back(*report.device);
    } else if (report.type == discovery::SearchReport::Type::Gone) {
        for (auto it = m_devices.begin(); it != m_devices.end(); ++it) {
            if (std::strncmp(it->mac, report.goneMac.get(), kMacTextMax) == 0) {
                m_devices.erase(it);
                break;
            }
        }
    }
}

bool DeviceSearch::Run(std::chrono::milliseconds duration, std::string& error) {
    discovery::DiscoveryOptions options;
    options.program = discovery::Program::Cfgpush;  // one probe a second
    options.addLinkLocalRoute = false;
    options.interfaces = m_interfaces;
    options.waitForNetwork = m_interfaces.empty();
    discovery::DeviceDiscovery search(options);
    if (!search.Start(&DeviceSearch::Callback, this)) {
        error = "the search library could not start";
        return false;
    }
    std::this_thread::sleep_for(duration);
    const bool started = search.SearchStarted();
    search.Stop();
    if (!started) {
        error = "the network is not up (no interface other than loopback is running)";
        return false;
    }
    return true;
}

std::vector<SEARCH_DEVICE_INFO> DeviceSearch::Devices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_devices;
}

}  // namespace cli
