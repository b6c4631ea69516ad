#pragma once
// A search of a given length for the command line: the devices that
// answered, each once, with the program's own parsing of the answers.

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/SearchAnswer.h"

namespace cli {

class DeviceSearch {
public:
    DeviceSearch(std::string series, std::vector<std::string> interfaces);

    // Searches for `duration`; false (with a reason) when the search could
    // not start.
    bool Run(std::chrono::milliseconds duration, std::string& error);
    // The devices present at the end, in the order they first answered.
    std::vector<SEARCH_DEVICE_INFO> Devices() const;

private:
    static void Callback(const char* mac, int kind, const char* xml, void* context);
    void OnReport(const char* mac, int kind, const char* xml);

    std::string m_series;
    std::vector<std::string> m_interfaces;
    discovery::SearchAnswerRules m_rules;
    mutable std::mutex m_mutex;
    std::vector<SEARCH_DEVICE_INFO> m_devices;  // guarded by m_mutex
};

}  // namespace cli
