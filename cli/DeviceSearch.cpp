#include "cli/DeviceSearch.h"

#include <algorithm>
#include <thread>

#include "discovery/DeviceDiscovery.h"

namespace cli {

bool ParseSources(const std::string& text, SearchSources& sources) {
    if (text == "ours") {
        sources = {true, false};
    } else if (text == "onvif") {
        sources = {false, true};
    } else if (text == "all") {
        sources = {true, true};
    } else {
        return false;
    }
    return true;
}

DeviceSearch::DeviceSearch(std::string series, std::vector<std::string> interfaces,
                           SearchSources sources, int32_t dataPort)
    : m_series(std::move(series)),
      m_interfaces(std::move(interfaces)),
      m_sources(sources),
      m_dataPort(dataPort),
      m_rules{nullptr, true} {
    m_rules.seriesNeedle = m_series.c_str();
}

void DeviceSearch::Callback(const char* mac, int kind, const char* xml, void* context) {
    static_cast<DeviceSearch*>(context)->OnReport(mac, kind, xml);
}

void DeviceSearch::OnReport(const char* mac, int kind, const char* xml) {
    discovery::SearchReport report = discovery::ParseSearchAnswer(mac, kind, xml, m_rules);
    std::lock_guard<std::mutex> lock(m_mutex);
    auto same = std::find_if(m_found.begin(), m_found.end(),
                             [&](const FoundDevice& d) { return d.key == report.key; });
    if (report.type == discovery::SearchReport::Type::Device) {
        if (same != m_found.end()) {
            same->record = *report.device;
            return;
        }
        FoundDevice found;
        found.key = report.key;
        found.record = *report.device;
        m_found.push_back(std::move(found));
    } else if (report.type == discovery::SearchReport::Type::Gone && same != m_found.end()) {
        m_found.erase(same);
    }
}

bool DeviceSearch::Run(std::chrono::milliseconds duration, std::string& error,
                       std::string* warning) {
    discovery::DiscoveryOptions options;
    options.program = discovery::Program::Cfgpush;  // one probe a second
    options.addLinkLocalRoute = false;
    options.interfaces = m_interfaces;
    options.waitForNetwork = m_interfaces.empty();
    options.ourSearch = m_sources.ours;
    options.onvif = m_sources.onvif;
    options.dataPort = m_dataPort;
    discovery::DeviceDiscovery search(options);
    if (!search.Start(&DeviceSearch::Callback, this)) {
        error = "the search library could not start";
        return false;
    }
    std::this_thread::sleep_for(
        m_sources.onvif ? std::max(duration, std::chrono::milliseconds(kOnvifCollectTime))
                        : duration);
    const bool started = search.SearchStarted();
    search.Stop();
    if (!started) {
        error = "the network is not up (no interface other than loopback is running)";
        return false;
    }
    const std::string onvifError = search.OnvifError();
    if (!onvifError.empty()) {
        if (!m_sources.ours) {
            error = "the ONVIF search could not start: " + onvifError;
            return false;
        }
        if (warning != nullptr) {
            *warning = "the ONVIF search could not start: " + onvifError;
        }
    }
    // The side records are looked up without our lock: the callback takes
    // ours inside discovery's.
    std::vector<std::string> keys;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const FoundDevice& d : m_found) {
            keys.push_back(d.key);
        }
    }
    std::vector<discovery::DeviceSideRecord> sides(keys.size());
    std::vector<bool> has(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        has[i] = search.SideRecord(keys[i], sides[i]);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (size_t i = 0; i < keys.size() && i < m_found.size(); ++i) {
        m_found[i].hasSide = has[i];
        m_found[i].side = std::move(sides[i]);
    }
    return true;
}

std::vector<SEARCH_DEVICE_INFO> DeviceSearch::Devices() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<SEARCH_DEVICE_INFO> devices;
    for (const FoundDevice& d : m_found) {
        devices.push_back(d.record);
    }
    return devices;
}

std::vector<FoundDevice> DeviceSearch::Found() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_found;
}

}  // namespace cli
