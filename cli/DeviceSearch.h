#pragma once
// A search of a given length for the command line: the devices that
// answered our own search, the ONVIF discovery or both, each once, with the
// program's own parsing of the answers and what discovery kept beside them.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/DeviceSources.h"
#include "discovery/SearchAnswer.h"

namespace cli {

// Which searches run: "ours", "onvif" or "all".
struct SearchSources {
    bool ours = true;
    bool onvif = true;
};
bool ParseSources(const std::string& text, SearchSources& sources);

// The ONVIF answers are collected at least this long, whatever the timeout:
// a camera answers up to half a second late, and a slow one later still.
constexpr std::chrono::milliseconds kOnvifCollectTime{2000};

struct FoundDevice {
    std::string key;  // the identity discovery reported it under
    SEARCH_DEVICE_INFO record{};
    bool hasSide = false;
    discovery::DeviceSideRecord side;
};

class DeviceSearch {
public:
    DeviceSearch(std::string series, std::vector<std::string> interfaces,
                 SearchSources sources = SearchSources(),
                 int32_t dataPort = discovery::kDefaultDataPort);

    // Searches for `duration` (with the ONVIF source, at least
    // kOnvifCollectTime); false (with a reason) when no search could start.
    // `warning` gets why the ONVIF search did not start when ours did.
    bool Run(std::chrono::milliseconds duration, std::string& error,
             std::string* warning = nullptr);
    // The devices present at the end, in the order they first answered.
    std::vector<SEARCH_DEVICE_INFO> Devices() const;
    std::vector<FoundDevice> Found() const;

private:
    static void Callback(const char* mac, int kind, const char* xml, void* context);
    void OnReport(const char* mac, int kind, const char* xml);

    std::string m_series;
    std::vector<std::string> m_interfaces;
    SearchSources m_sources;
    int32_t m_dataPort;
    discovery::SearchAnswerRules m_rules;
    mutable std::mutex m_mutex;
    std::vector<FoundDevice> m_found;  // guarded by m_mutex
};

}  // namespace cli
