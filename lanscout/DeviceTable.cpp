#include "lanscout/DeviceTable.h"

#include <algorithm>

namespace lanscout {

DeviceTable::DeviceTable(uint32_t missedRoundsForGone, size_t maxDevices)
    : m_missedRoundsForGone(missedRoundsForGone < 1 ? 1 : missedRoundsForGone),
      m_maxDevices(maxDevices) {}

int DeviceTable::OnAnswer(const std::string& mac, const std::string& xml, uint64_t round) {
    auto it = m_devices.find(mac);
    if (it == m_devices.end()) {
        if (m_devices.size() >= m_maxDevices) {
            ++m_ignored;
            return 0;
        }
        m_devices.emplace(mac, Entry{xml, round, m_nextOrder++});
        return 1;
    }
    Entry& entry = it->second;
    // A late answer of an older round must not move the device back in time.
    entry.lastRound = std::max(entry.lastRound, round);
    if (entry.xml == xml) {
        return 0;
    }
    entry.xml = xml;
    return 3;
}

std::vector<DeviceTable::GoneDevice> DeviceTable::CloseRound(uint64_t round) {
    std::vector<std::pair<uint64_t, GoneDevice>> gone;
    for (auto it = m_devices.begin(); it != m_devices.end();) {
        const Entry& entry = it->second;
        if (round >= entry.lastRound && round - entry.lastRound >= m_missedRoundsForGone) {
            gone.push_back({entry.order, GoneDevice{it->first, entry.xml}});
            it = m_devices.erase(it);
        } else {
            ++it;
        }
    }
    std::sort(gone.begin(), gone.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<GoneDevice> result;
    result.reserve(gone.size());
    for (auto& entry : gone) {
        result.push_back(std::move(entry.second));
    }
    return result;
}

}  // namespace lanscout
